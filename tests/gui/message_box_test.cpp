// A failed result of the core reaches the operator as one message box: the
// reason alone, or the reason inside the sentence of the window that asked,
// with the icon and caption that window chose.

#include <QtTest>

#include "app/result.h"
#include "gui/message_box.h"

class MessageBoxTest : public QObject {
    Q_OBJECT
  private slots:
    void showsAFailureWithItsReason() {
        QList<zelmora::gui::MessageRequest> shown;
        zelmora::gui::ScopedMessagePresenter scope([&](const zelmora::gui::MessageRequest& r) {
            shown << r;
            return QMessageBox::Ok;
        });

        zelmora::gui::showFailure(nullptr, zelmora::Status::failure("порт занят"));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown[0].text, QStringLiteral("порт занят"));
        QCOMPARE(shown[0].caption, QStringLiteral("Zelmora"));
        QCOMPARE(shown[0].icon, QMessageBox::Warning);
        QCOMPARE(shown[0].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

        // The reason goes where the sentence has "%1"; a reason that itself
        // holds "%1" or "%2" is shown as it is.
        zelmora::gui::showFailure(nullptr, zelmora::Status::failure("нет места (%2 из %1)"),
                                  QStringLiteral("Не удалось сохранить настройки: %1"),
                                  QMessageBox::Critical, QStringLiteral("Опции"));
        QCOMPARE(shown.size(), 2);
        QCOMPARE(shown[1].text,
                 QStringLiteral("Не удалось сохранить настройки: нет места (%2 из %1)"));
        QCOMPARE(shown[1].icon, QMessageBox::Critical);
        QCOMPARE(shown[1].caption, QStringLiteral("Опции"));

        // A failure built without a text never shows an empty box.
        zelmora::gui::showFailure(nullptr, zelmora::Status::failure(""));
        QVERIFY(!shown[2].text.isEmpty());
    }
};

QTEST_APPLESS_MAIN(MessageBoxTest)
#include "message_box_test.moc"
