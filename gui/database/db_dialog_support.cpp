#include "gui/database/db_dialog_support.h"

#include <QLineEdit>

#include "database/catalogue.h"
#include "gui/message_box.h"

namespace zelmora::gui::dbui {

bool askYesNo(QWidget* parent, const QString& text) {
    MessageRequest r;
    r.parent = parent;
    r.icon = QMessageBox::Question;
    r.text = text;
    r.buttons = QMessageBox::Yes | QMessageBox::No;
    r.defaultButton = QMessageBox::No;
    return showMessage(r) == QMessageBox::Yes;
}

QComboBox* editableCombo(QWidget* parent, std::size_t maxChars, const char* objectName) {
    auto* c = new QComboBox(parent);
    c->setEditable(true);
    c->setInsertPolicy(QComboBox::NoInsert);
    c->lineEdit()->setMaxLength(static_cast<int>(maxChars));
    c->setObjectName(QString::fromLatin1(objectName));
    c->setMinimumWidth(180);
    return c;
}

std::vector<db::CStationSet::Row> fillStations(db::Connection& db, QComboBox* combo,
                                               QWidget* errorParent) {
    const QString typed = combo->currentText();
    const QSignalBlocker block(combo);
    combo->clear();
    db::CStationSet set(db);
    if (const db::Status st = set.open(); !st) {
        showFailure(errorParent, st);
        return {};
    }
    for (const auto& r : set.rows)
        combo->addItem(q(r.station), r.keyStation);
    combo->setCurrentIndex(-1);
    combo->setEditText(typed);
    return set.rows;
}

std::vector<db::CPlaceSet::Row> fillPoints(db::Connection& db, const QString& station,
                                           QComboBox* combo, QWidget* errorParent) {
    const QString typed = combo->currentText();
    const QSignalBlocker block(combo);
    combo->clear();
    std::vector<db::CPlaceSet::Row> rows;
    const db::Result<std::optional<int>> key = db::stationKey(db, s(station));
    if (!key) {
        showFailure(errorParent, key.status());
    } else if (*key) {
        db::CPlaceSet set(db);
        if (const db::Status st = set.open(**key); !st)
            showFailure(errorParent, st);
        else
            rows = set.rows;
    }
    for (const auto& r : rows)
        combo->addItem(q(r.place), r.keyPlace);
    combo->setCurrentIndex(-1);
    combo->setEditText(typed);
    return rows;
}

std::optional<int> pointKey(db::Connection& db, const QString& station, const QString& place) {
    const db::Result<std::optional<int>> st = db::stationKey(db, s(station));
    if (!st || !*st)
        return std::nullopt;
    const db::Result<std::optional<int>> pl = db::placeKey(db, **st, s(place));
    if (!pl || !*pl)
        return std::nullopt;
    return **pl;
}

}  // namespace zelmora::gui::dbui
