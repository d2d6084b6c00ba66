#pragma once
// What the chromatogram's file and commands say to the operator, shown as
// message boxes over its window with the texts and captions the document
// gives (through showMessage(), which the tests replace).

#include <QPointer>
#include <QWidget>

#include "document/message_sink.h"

namespace zelmora::gui {

class QtMessageSink : public MessageSink {
  public:
    explicit QtMessageSink(QWidget* owner = nullptr) : owner_(owner) {}
    void setOwner(QWidget* owner) { owner_ = owner; }

    void message(int resourceId, std::string_view text) override;
    void messageBox(std::string_view caption, std::string_view text, MessageIcon icon) override;
    bool askYesNo(std::string_view caption, std::string_view text) override;

  private:
    QWidget* owner() const;

    QPointer<QWidget> owner_;
};

}  // namespace zelmora::gui
