#pragma once
// What the desktop program's tests share: chromatogram and method files made
// in code, and a stand-in for the message boxes that records what was shown
// and answers with the buttons the test chose.

#include <QMessageBox>
#include <QString>
#include <QStringList>
#include <ctime>
#include <deque>
#include <filesystem>
#include <string>

#include "document/message_sink.h"
#include "document/zelmora_doc.h"
#include "gui/message_box.h"
#include "method/document_method.h"
#include "method/method_sheet.h"
#include "processing/demo_sample.h"
#include "processing/peak_integration.h"
#include "processing/synthetic.h"

namespace zelmora::guitest {

// Records every message box; answers from `answers` in turn, then with
// `fallback`.
class MessageLog {
  public:
    MessageLog()
        : scope_([this](const gui::MessageRequest& r) {
              texts << r.text;
              captions << r.caption;
              if (!answers.empty()) {
                  const QMessageBox::StandardButton b = answers.front();
                  answers.pop_front();
                  return b;
              }
              return fallback;
          }) {}
    bool saw(const QString& part) const {
        for (const QString& t : texts) {
            if (t.contains(part))
                return true;
        }
        return false;
    }

    QStringList texts;
    QStringList captions;
    std::deque<QMessageBox::StandardButton> answers;
    QMessageBox::StandardButton fallback = QMessageBox::Ok;

  private:
    gui::ScopedMessagePresenter scope_;
};

// A method "name" in the methods folder that finds and quantifies the demo peaks.
inline bool writeDemoMethod(const std::string& name) {
    CMethodSheet sheet;
    sheet.method() = demoMethod();
    return sheet.WriteMethod(name).ok();
}

// What the program does at its start for the chromatograms it opens (methods
// from the methods folder, peaks integrated after reading), and the demo
// method "Демо" they name.
inline bool startWithDemoMethod() {
    installFolderMethodLoader();
    installIntegrationAfterRead();
    return writeDemoMethod("Демо");
}

// A chromatogram file of the demo sample whose passport names `method`.
inline bool writeChromatogram(const std::filesystem::path& file, const std::string& method) {
    CZelmoraDoc doc;
    fillDemoDocument(doc, method, std::time(nullptr));
    RecordingMessageSink sink;
    return doc.Write(file, sink, false).ok();
}

}  // namespace zelmora::guitest
