#include "method/document_method.h"

#include "app/text.h"
#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "method/method_prompts.h"

namespace zelmora {
namespace {

// The method's questions and errors, shown through the document's sink.
class SinkPrompts : public MethodPrompts {
  public:
    explicit SinkPrompts(MessageSink& sink) : sink_(sink) {}
    bool askOkCancel(const std::string& text, const std::string& caption) override {
        return sink_.askYesNo(caption, text);
    }
    void showError(const std::string& text) override {
        sink_.messageBox("Zelmora", text, MessageIcon::Warning);
    }
    std::optional<std::filesystem::path> askSaveFile(const std::filesystem::path&,
                                                     const std::string&,
                                                     const std::string&) override {
        return std::nullopt;
    }

  private:
    MessageSink& sink_;
};

}  // namespace

std::unique_ptr<MethodAttachment> FolderMethodLoader::load(const std::string& name,
                                                           MessageSink& sink) {
    if (text::trim(name).empty())
        return nullptr;
    auto copy = std::make_unique<DocumentMethod>();
    SinkPrompts prompts(sink);
    copy->sheet.setPrompts(&prompts);
    const bool ok = copy->sheet.ReadMethod(name).ok();
    copy->sheet.setPrompts(nullptr);
    if (!ok)
        return nullptr;
    return copy;
}

void installFolderMethodLoader() {
    installMethodLoader(std::make_shared<FolderMethodLoader>());
}

CMethodSheet* documentMethodSheet(CZelmoraDoc& doc) {
    if (!doc.hasMethod)
        return nullptr;
    auto* m = dynamic_cast<DocumentMethod*>(doc.method.get());
    return m != nullptr ? &m->sheet : nullptr;
}

Method* documentMethod(CZelmoraDoc& doc) {
    CMethodSheet* sheet = documentMethodSheet(doc);
    return sheet != nullptr ? &sheet->method() : nullptr;
}

const Method* documentMethod(const CZelmoraDoc& doc) {
    return documentMethod(const_cast<CZelmoraDoc&>(doc));
}

std::optional<std::vector<std::string>> documentMethodComponents(const CZelmoraDoc& doc) {
    const Method* m = documentMethod(doc);
    if (m == nullptr)
        return std::nullopt;
    std::vector<std::string> names;
    for (const MethodComponent& c : m->calculation.components)
        names.push_back(c.name);
    return names;
}

MethodReloadLink::MethodReloadLink(CZelmoraDoc& doc, MessageSink& sink)
    : subscription_(
          MethodSaveNotifier::instance().subscribe([&doc, &sink](const MethodSavedEvent& e) {
              if (e.newName || text::equalsNoCase(e.name, doc.passport.method)) {
                  doc.reloadMethod(sink);
                  doc.updateTitle();
              }
          })) {}

}  // namespace zelmora
