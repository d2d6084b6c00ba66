#pragma once
// The end of the desktop session by a signal: SIGTERM (log-out, shutdown,
// `kill`), SIGINT (Ctrl+C in the terminal that started the program) and
// SIGHUP (that terminal closed). The handler only writes the signal's number
// into a socket pair; the user-interface thread reads it and asks the main
// window to close as "Выход" does, without questions no one is there to
// answer. The handlers are installed for the lifetime of this object.

#include <QObject>

class QSocketNotifier;

namespace zelmora::gui {

class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the signals could not be watched (the program then ends on
    // them as any program does).
    bool isWatching() const { return notifier_ != nullptr; }

  signals:
    // Emitted on the user-interface thread, once per signal received.
    void terminationRequested(int signal);

  private:
    void readSignal();

    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace zelmora::gui
