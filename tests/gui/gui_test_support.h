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
#include "method/method_sheet.h"
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

struct DemoPeak {
    const char* name;
    double time, height, sigma;
};
inline constexpr DemoPeak kDemoPeaks[] = {
    {"Метан", 2.0, 40.0, 0.025},  {"Этан", 3.2, 12.0, 0.03},    {"Пропан", 4.6, 6.0, 0.035},
    {"Изобутан", 6.1, 2.0, 0.04}, {"Н-бутан", 6.8, 2.5, 0.045},
};

// A method "name" in the methods folder that finds and quantifies the demo peaks.
inline bool writeDemoMethod(const std::string& name) {
    CMethodSheet sheet;
    Method& m = sheet.method();
    m.info.description = "Природный газ, простая нормировка";
    m.filter.kind = 3;
    m.filter.window = 0.5f;
    m.marking.Width = 0.1f;
    m.marking.MinHeight = 0.2f;
    m.marking.MinArea = 0.01f;
    m.marking.MarkingStart = 0.5f;
    m.calculation.kind = 4;
    m.calculation.response = 1;
    for (const DemoPeak& p : kDemoPeaks) {
        MethodComponent c;
        c.name = p.name;
        c.retentionTime = p.time;
        m.calculation.components.push_back(c);
    }
    return sheet.WriteMethod(name);
}

// A chromatogram file of the demo sample (8 minutes, 10 points a second)
// whose passport names `method`.
inline bool writeChromatogram(const std::filesystem::path& file, const std::string& method) {
    SyntheticChromatogram spec;
    spec.dt = 1.0 / 600;
    spec.samples = static_cast<std::int64_t>(8.0 / spec.dt);
    spec.level = 1.0;
    spec.drift = 0.05;
    spec.noise = 0.01;
    spec.seed = 2026;
    for (const DemoPeak& p : kDemoPeaks)
        spec.peaks.push_back({p.time, p.height, p.sigma});
    CZelmoraDoc doc;
    doc.signal = makeSyntheticSignal(spec);
    doc.passport.method = method;
    doc.passport.sample = "Природный газ (демонстрация)";
    doc.passport.analysisTime = std::time(nullptr);
    RecordingMessageSink sink;
    return doc.Write(file, sink, false);
}

}  // namespace zelmora::guitest
