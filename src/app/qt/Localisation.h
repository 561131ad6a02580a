// Applying the localisation file to the windows, and writing the template of
// it ("Custom.ini") from the windows' current texts.
//
// A window is a QWidget whose objectName is the window's name (frmMain,
// frmMailer...). Its components are its descendants that carry an object
// name, in creation order, depth first; a descendant that is a window of its
// own (a dialog) belongs to itself, and Qt's internal pieces ("qt_...") are
// not components. What a component is follows from its class, or from the
// dynamic property "pagemoorKind" ("memo", "radiogroup", "combo", "label")
// when a control of another class stands for one of those:
//   caption  QLabel, QAbstractButton, QGroupBox (title), QMenu (title),
//            QAction (text), kind "label"; a window's caption is its title
//   hint     a widget's tool tip, an action's status tip
//   memo     QPlainTextEdit, QTextEdit (one line per paragraph); QListWidget
//            when marked "memo"
//   items    QComboBox; QGroupBox or QButtonGroup holding radio buttons (the
//            buttons' texts); QListWidget when marked "combo"
#pragma once

#include <string>
#include <vector>

#include "common/IniLang.h"

class QObject;
class QWidget;

namespace pagemoor {

// The texts of the given windows from the file: "W.Caption", "W.N.Caption",
// "W.N.Hint" (set when not empty), "W.N.lines[i]" (set unless "fsdef"; empty
// empties the line) and "W.N.items[i]" (set when not empty), each in section
// W. Lines and items are only replaced, never added. A nullptr window is one
// that does not exist and is skipped; without a file nothing changes.
void ApplyLanguage(const std::vector<QWidget*>& windows, const LanguageFile* file);

// Writes the current texts of the windows and the built-in messages (section
// "Misc", line breaks as "*|*") to "Custom.ini" in the program folder. Entries
// already in the file and not written again stay. Returns false when a write
// failed; the rest is still written.
bool FillCustomIni(const std::vector<QWidget*>& windows,
                   const std::vector<MessageKey>& messages = MessageKeys());

// The components of a window in the order both of the above walk them.
std::vector<QObject*> WindowComponents(QWidget* window);

}  // namespace pagemoor
