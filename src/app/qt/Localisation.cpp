#include "app/qt/Localisation.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextEdit>
#include <QVariant>
#include <QWidget>
#include <optional>
#include <set>
#include <string_view>

#include "common/HostPaths.h"
#include "common/IniFile.h"
#include "common/IniLang.h"
#include "common/Strings.h"

namespace pagemoor {

namespace {

// What a control marked with "pagemoorKind" stands for; empty when unmarked.
QString markedKind(const QObject* o) {
  const QVariant v = o->property("pagemoorKind");
  return v.isValid() ? v.toString() : QString();
}

QString qs(const std::string& text) {
  return QString::fromStdString(text);
}

// --- Captions and hints --------------------------------------------------

// The text of a control marked as a label, whatever its class.
std::optional<QString> labelText(const QObject* o) {
  if (auto* l = qobject_cast<const QLabel*>(o)) return l->text();
  if (auto* b = qobject_cast<const QAbstractButton*>(o)) return b->text();
  if (auto* g = qobject_cast<const QGroupBox*>(o)) return g->title();
  if (auto* e = qobject_cast<const QLineEdit*>(o)) return e->text();
  if (auto* p = qobject_cast<const QPlainTextEdit*>(o)) return p->toPlainText();
  if (auto* t = qobject_cast<const QTextEdit*>(o)) return t->toPlainText();
  const int index = o->metaObject()->indexOfProperty("text");
  if (index >= 0) return o->metaObject()->property(index).read(o).toString();
  return std::nullopt;
}

void setLabelText(QObject* o, const QString& text) {
  if (auto* l = qobject_cast<QLabel*>(o))
    l->setText(text);
  else if (auto* b = qobject_cast<QAbstractButton*>(o))
    b->setText(text);
  else if (auto* g = qobject_cast<QGroupBox*>(o))
    g->setTitle(text);
  else if (auto* e = qobject_cast<QLineEdit*>(o))
    e->setText(text);
  else if (auto* p = qobject_cast<QPlainTextEdit*>(o))
    p->setPlainText(text);
  else if (auto* t = qobject_cast<QTextEdit*>(o))
    t->setPlainText(text);
  else if (o->metaObject()->indexOfProperty("text") >= 0)
    o->setProperty("text", text);
}

// The published caption of a component; nothing when its kind has none.
std::optional<QString> caption(const QObject* o) {
  const QString kind = markedKind(o);
  if (kind == "label") return labelText(o);
  if (kind == "memo" || kind == "combo") return std::nullopt;
  if (auto* l = qobject_cast<const QLabel*>(o)) return l->text();
  if (auto* b = qobject_cast<const QAbstractButton*>(o)) return b->text();
  if (auto* g = qobject_cast<const QGroupBox*>(o)) return g->title();
  if (auto* m = qobject_cast<const QMenu*>(o)) return m->title();
  if (auto* a = qobject_cast<const QAction*>(o)) return a->text();
  return std::nullopt;
}

void setCaption(QObject* o, const QString& text) {
  if (!caption(o)) return;
  if (auto* m = qobject_cast<QMenu*>(o))
    m->setTitle(text);
  else if (auto* a = qobject_cast<QAction*>(o))
    a->setText(text);
  else
    setLabelText(o, text);
}

// A widget's hint is its tool tip. An action's tool tip falls back to its
// text when unset, so its hint is the status tip, where menu hints belong.
std::optional<QString> hint(const QObject* o) {
  if (auto* w = qobject_cast<const QWidget*>(o)) return w->toolTip();
  if (auto* a = qobject_cast<const QAction*>(o)) return a->statusTip();
  return std::nullopt;
}

void setHint(QObject* o, const QString& text) {
  if (auto* w = qobject_cast<QWidget*>(o))
    w->setToolTip(text);
  else if (auto* a = qobject_cast<QAction*>(o))
    a->setStatusTip(text);
}

// --- Memo lines ------------------------------------------------------------

bool isMemo(const QObject* o) {
  const QString kind = markedKind(o);
  if (!kind.isEmpty()) return kind == "memo";
  return qobject_cast<const QPlainTextEdit*>(o) || qobject_cast<const QTextEdit*>(o);
}

// A text as memo lines: no text is no line, and a final line break does not
// open another line.
QStringList textLines(const QString& text) {
  if (text.isEmpty()) return {};
  QStringList lines = text.split('\n');
  if (lines.size() > 1 && lines.back().isEmpty()) lines.pop_back();
  for (QString& line : lines)
    if (line.endsWith('\r')) line.chop(1);
  return lines;
}

QStringList memoLines(const QObject* o) {
  if (auto* list = qobject_cast<const QListWidget*>(o)) {
    QStringList lines;
    for (int i = 0; i < list->count(); ++i) lines << list->item(i)->text();
    return lines;
  }
  auto text = labelText(o);
  return text ? textLines(*text) : QStringList();
}

void setMemoLines(QObject* o, const QStringList& lines) {
  if (auto* list = qobject_cast<QListWidget*>(o)) {
    for (int i = 0; i < list->count() && i < lines.size(); ++i) list->item(i)->setText(lines[i]);
    return;
  }
  setLabelText(o, lines.join('\n'));
}

// --- Items of radio groups and combo boxes ---------------------------------

bool isMarkedOrGroupBox(const QObject* o) {
  return qobject_cast<const QGroupBox*>(o) || !markedKind(o).isEmpty();
}

// The radio buttons a radio group holds, in creation order; buttons inside a
// nested group belong to that group.
QList<QAbstractButton*> radioButtons(QObject* o) {
  if (auto* group = qobject_cast<QButtonGroup*>(o)) return group->buttons();
  QList<QAbstractButton*> buttons;
  for (QRadioButton* button : o->findChildren<QRadioButton*>()) {
    bool nested = false;
    for (QObject* p = button->parent(); p && p != o; p = p->parent())
      if (isMarkedOrGroupBox(p)) nested = true;
    if (!nested) buttons << button;
  }
  return buttons;
}

bool isRadioGroup(QObject* o) {
  const QString kind = markedKind(o);
  if (!kind.isEmpty()) return kind == "radiogroup";
  return (qobject_cast<QGroupBox*>(o) || qobject_cast<QButtonGroup*>(o)) && !radioButtons(o).isEmpty();
}

bool isCombo(const QObject* o) {
  const QString kind = markedKind(o);
  if (!kind.isEmpty()) return kind == "combo";
  return qobject_cast<const QComboBox*>(o) != nullptr;
}

QStringList comboItems(const QObject* o) {
  QStringList items;
  if (auto* combo = qobject_cast<const QComboBox*>(o))
    for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
  else if (auto* list = qobject_cast<const QListWidget*>(o))
    for (int i = 0; i < list->count(); ++i) items << list->item(i)->text();
  return items;
}

void setComboItem(QObject* o, int i, const QString& text) {
  if (auto* combo = qobject_cast<QComboBox*>(o))
    combo->setItemText(i, text);
  else if (auto* list = qobject_cast<QListWidget*>(o))
    list->item(i)->setText(text);
}

QStringList radioItems(QObject* o) {
  QStringList items;
  for (QAbstractButton* button : radioButtons(o)) items << button->text();
  return items;
}

void collectComponents(QObject* parent, std::vector<QObject*>& out) {
  for (QObject* child : parent->children()) {
    if (child->objectName().startsWith("qt_")) continue;  // Qt's own pieces
    // A dialog parented to the window is a window of its own; menus and
    // drop-downs are popups that belong to it.
    if (auto* w = qobject_cast<QWidget*>(child); w && w->isWindow() && w->windowType() != Qt::Popup) continue;
    if (!child->objectName().isEmpty()) out.push_back(child);
    collectComponents(child, out);
  }
}

std::string str(const QString& text) {
  return text.toStdString();
}

// Line breaks of a message as the localisation file writes them.
std::string withMarkers(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      out += "*|*";
    } else {
      out += text[i];
    }
  }
  return out;
}

}  // namespace

std::vector<QObject*> WindowComponents(QWidget* window) {
  std::vector<QObject*> out;
  if (window) collectComponents(window, out);
  return out;
}

void ApplyLanguage(const std::vector<QWidget*>& windows, const LanguageFile* file) {
  if (!file) return;
  for (QWidget* window : windows) {
    if (!window) continue;
    const std::string w = str(window->objectName());
    if (w.empty()) continue;
    const std::string title = file->read(w, w + ".Caption", "");
    if (!title.empty()) window->setWindowTitle(qs(title));

    for (QObject* k : WindowComponents(window)) {
      const std::string prefix = w + "." + str(k->objectName());
      if (const std::string text = file->read(w, prefix + ".Caption", ""); !text.empty())
        setCaption(k, qs(text));
      if (const std::string text = file->read(w, prefix + ".Hint", ""); !text.empty() && hint(k))
        setHint(k, qs(text));

      if (isMemo(k)) {
        QStringList lines = memoLines(k);
        bool changed = false;
        for (int i = 0; i < lines.size(); ++i) {
          const std::string text = file->read(w, prefix + ".lines[" + std::to_string(i) + "]", "fsdef");
          if (text == "fsdef") continue;
          lines[i] = qs(text);
          changed = true;
        }
        if (changed) setMemoLines(k, lines);
      }

      const auto itemText = [&](int i) {
        return file->read(w, prefix + ".items[" + std::to_string(i) + "]", "");
      };
      if (isRadioGroup(k)) {
        const QList<QAbstractButton*> buttons = radioButtons(k);
        for (int i = 0; i < buttons.size(); ++i)
          if (const std::string text = itemText(i); !text.empty()) buttons[i]->setText(qs(text));
      }
      if (isCombo(k)) {
        const int count = static_cast<int>(comboItems(k).size());
        for (int i = 0; i < count; ++i)
          if (const std::string text = itemText(i); !text.empty()) setComboItem(k, i, qs(text));
      }
    }
  }
}

bool FillCustomIni(const std::vector<QWidget*>& windows, const std::vector<MessageKey>& messages) {
  const std::string path = JoinPath(ProgramDir(), "Custom.ini");
  bool ok = true;
  const auto write = [&](const std::string& section, const std::string& key, const std::string& value) {
    ok = WriteIniValue(path, section, key, value) && ok;
  };

  for (QWidget* window : windows) {
    if (!window) continue;
    const std::string w = str(window->objectName());
    if (w.empty()) continue;
    if (const std::string title = str(window->windowTitle()); title != w) write(w, w + ".Caption", title);

    for (QObject* k : WindowComponents(window)) {
      const std::string n = str(k->objectName());
      if (n.starts_with("out")) continue;  // run-time surfaces, nothing to translate
      const std::string prefix = w + "." + n;
      if (auto c = caption(k)) {
        const std::string text = str(*c);
        if (text != n && text != "-" && !text.empty()) write(w, prefix + ".Caption", text);
      }
      if (auto h = hint(k); h && !h->isEmpty()) write(w, prefix + ".Hint", str(*h));
      if (isMemo(k)) {
        const QStringList lines = memoLines(k);
        // A memo whose design kept its own name as a line ends there.
        for (int i = 0; i < lines.size() && str(lines[i]) != n; ++i)
          write(w, prefix + ".Lines[" + std::to_string(i) + "]", str(lines[i]));
      }
      const auto writeItems = [&](const QStringList& items) {
        for (int i = 0; i < items.size(); ++i)
          write(w, prefix + ".Items[" + std::to_string(i) + "]", str(items[i]));
      };
      if (isRadioGroup(k)) writeItems(radioItems(k));
      if (isCombo(k)) writeItems(comboItems(k));
    }
  }

  // Of two messages with the same key the first counts.
  std::set<std::string> written;
  for (const MessageKey& m : messages)
    if (written.insert(FoldCase(m.key)).second) write("Misc", std::string(m.key), withMarkers(m.defaultText));
  return ok;
}

}  // namespace pagemoor
