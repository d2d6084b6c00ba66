#include "gui/instruments/sound_player.h"

#include <QCoreApplication>
#include <QUrl>

#include "app/paths.h"

#ifdef ZELMORA_HAVE_MULTIMEDIA
#include <QSoundEffect>
#endif

namespace zelmora::gui {

CSoundPlayer::CSoundPlayer(std::filesystem::path folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {}

CSoundPlayer::~CSoundPlayer() = default;

CSoundPlayer& CSoundPlayer::instance() {
    static CSoundPlayer* player = [] {
        auto* p = new CSoundPlayer(paths::programFolder() / "Sound", QCoreApplication::instance());
        // The offscreen platform (tests, servers) has nobody to listen.
        if (QCoreApplication::instance() == nullptr ||
            qEnvironmentVariable("QT_QPA_PLATFORM") == QLatin1String("offscreen"))
            p->setSilent(true);
        return p;
    }();
    return *player;
}

void CSoundPlayer::play(const QString& name, bool loop) {
    if (silent_)
        return;
#ifdef ZELMORA_HAVE_MULTIMEDIA
    const std::filesystem::path file = folder_ / name.toStdString();
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return;
    auto* effect = qobject_cast<QSoundEffect*>(effects_.value(name, nullptr));
    if (effect == nullptr) {
        effect = new QSoundEffect(this);
        effect->setSource(QUrl::fromLocalFile(QString::fromStdString(file.string())));
        effects_.insert(name, effect);
    }
    effect->setLoopCount(loop ? QSoundEffect::Infinite : 1);
    effect->play();
#else
    (void)loop;
#endif
}

void CSoundPlayer::stop(const QString& name) {
#ifdef ZELMORA_HAVE_MULTIMEDIA
    if (auto* effect = qobject_cast<QSoundEffect*>(effects_.value(name, nullptr)))
        effect->stop();
#else
    (void)name;
#endif
}

}  // namespace zelmora::gui
