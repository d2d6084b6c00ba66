#pragma once
// The main window's "&Метод" menu: "&Открыть..." picks a method in the
// chooser, reads it and shows it in the method editor; "&Новый" shows the
// editor on a method of default values without a name, whose OK therefore
// asks for one. Open chromatograms follow a saved method by themselves
// (MethodReloadLink).

#include "method/method_editing.h"

class QWidget;

namespace zelmora::gui {

// Nothing when the chooser was cancelled or the method could not be read
// (the read rules decide the message).
std::optional<MethodSheetResult> openMethod(QWidget* parent);
MethodSheetResult newMethod(QWidget* parent);
// The editor on the method `name` (the passport's "&Метод"); true when the
// method was saved.
bool editMethod(const std::string& name, QWidget* parent);

}  // namespace zelmora::gui
