#pragma once
// Small pieces the database windows share: questions with "no" as the
// default, the station and point combo boxes filled from the catalogue, and
// the conversions between the database's UTF-8 texts and Qt's.

#include <QComboBox>
#include <QMessageBox>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "database/recordsets.h"

namespace zelmora::gui::dbui {

inline QString q(const std::string& s) {
    return QString::fromStdString(s);
}
inline std::string s(const QString& t) {
    return t.trimmed().toStdString();
}

// A yes/no question (question icon, "no" by default); true for yes.
bool askYesNo(QWidget* parent, const QString& text);

// An editable combo box limited to `maxChars` characters.
QComboBox* editableCombo(QWidget* parent, std::size_t maxChars, const char* objectName);

// Fills `combo` with the stations, keeping the typed text; the rows read.
std::vector<db::CStationSet::Row> fillStations(db::Connection& db, QComboBox* combo,
                                               QWidget* errorParent);
// Fills `combo` with the points of the station named in `station` (none when
// no such station), keeping the typed text; the rows read.
std::vector<db::CPlaceSet::Row> fillPoints(db::Connection& db, const QString& station,
                                           QComboBox* combo, QWidget* errorParent);

// Key of the point named `place` of the station `station`, or nullopt.
std::optional<int> pointKey(db::Connection& db, const QString& station, const QString& place);

}  // namespace zelmora::gui::dbui
