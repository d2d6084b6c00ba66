#pragma once
// The part of a document that the application framework keeps: the file it
// belongs to, its title, whether it has unsaved changes, and its views. The
// GUI implements it on its Qt document window; the command-line tool and the
// tests use PlainDocumentState.

#include <filesystem>
#include <string>

namespace zelmora {

class DocumentState {
  public:
    virtual ~DocumentState() = default;
    virtual std::filesystem::path pathName() const = 0;
    virtual void setPathName(const std::filesystem::path& path) = 0;
    virtual std::string title() const = 0;
    virtual void setTitle(const std::string& title) = 0;
    virtual bool isModified() const = 0;
    virtual void setModified(bool modified) = 0;
    // Asks every view of the document to redraw.
    virtual void updateAllViews() = 0;
};

class PlainDocumentState : public DocumentState {
  public:
    std::filesystem::path pathName() const override { return path_; }
    void setPathName(const std::filesystem::path& path) override { path_ = path; }
    std::string title() const override { return title_; }
    void setTitle(const std::string& title) override { title_ = title; }
    bool isModified() const override { return modified_; }
    void setModified(bool modified) override { modified_ = modified; }
    void updateAllViews() override {}

  private:
    std::filesystem::path path_;
    std::string title_;
    bool modified_ = false;
};

}  // namespace zelmora
