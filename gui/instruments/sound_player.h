#pragma once
// The program's sounds ("ready.wav", "error.wav" of the sound folder below
// the program folder), played through Qt Multimedia. Where the program is
// built without it, or no audio device exists, it stays silent: a missing
// sound is never an error. Interface thread only.

#include <QHash>
#include <QObject>
#include <QString>
#include <filesystem>

namespace zelmora::gui {

class CSoundPlayer : public QObject {
    Q_OBJECT
  public:
    // folder: the sound folder ("<program folder>/Sound").
    explicit CSoundPlayer(std::filesystem::path folder, QObject* parent = nullptr);
    ~CSoundPlayer() override;

    // Plays a sound once, or in a loop until stop().
    void play(const QString& name, bool loop = false);
    void stop(const QString& name);
    // A player that never plays (the tests).
    void setSilent(bool on) { silent_ = on; }
    bool silent() const { return silent_; }

    // The program's player (its sound folder); created on first use.
    static CSoundPlayer& instance();

  private:
    std::filesystem::path folder_;
    bool silent_ = false;
    QHash<QString, QObject*> effects_;
};

}  // namespace zelmora::gui
