#include "platform/qt/QtPlatform.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QProcess>
#include <QUrl>
#include <algorithm>
#include <utility>

#include "common/HostPaths.h"
#include "platform/LaunchPolicy.h"
#include "platform/qt/MagazineBoxes.h"
#include "platform/qt/QtText.h"

namespace pagemoor {

namespace {

std::string FromQt(const QString& text) {
  return text.toUtf8().toStdString();
}

// The system's paths may use '\' and a case that only matches on a
// case-insensitive file system.
QString HostFile(const std::string& path) {
  if (path.empty()) return {};
  return ToQt(ResolveExisting(path).value_or(HostPath(path)));
}

using MessageBox = MagazineBox<QMessageBox>;

// The magazine's box (MagazineBoxes.h), its owner the window the reader works in.
MessageBox* MakeMessageBox(QMessageBox::Icon icon, const QString& title, const QString& text,
                           QMessageBox::StandardButtons buttons, const char* objectName) {
  auto* box = new MessageBox(icon, title, text, buttons, BoxOwner());
  box->setObjectName(QString::fromLatin1(objectName));
  // Magazine texts are plain: a "<" in them is a character, not markup.
  box->setTextFormat(Qt::PlainText);
  return box;
}

// Magazines were made where file names have no letter case: "*.mp3" must
// find SONG.MP3 too, and Qt's dialogs match patterns case-sensitively here.
// "*.mp3" -> "*.[mM][pP]3".
QString CaseBlindPattern(const QString& pattern) {
  QString out;
  for (const QChar c : pattern) {
    const QChar lower = c.toLower();
    const QChar upper = c.toUpper();
    if (c.unicode() < 128 && lower != upper)
      out += QLatin1Char('[') + lower + upper + QLatin1Char(']');
    else
      out += c;
  }
  return out;
}

}  // namespace

QStringList QtNameFilters(std::string_view filter) {
  QStringList result;
  if (filter.empty()) return result;
  const QStringList parts = ToQt(filter).split(QLatin1Char('|'));
  for (qsizetype i = 0; i < parts.size(); i += 2) {
    QString description = parts[i].trimmed();
    QStringList patterns;
    if (i + 1 < parts.size()) {
      for (const QString& p : parts[i + 1].split(QLatin1Char(';'))) {
        QString pattern = p.trimmed();
        // On Windows "*.*" means every file; here it would skip the files without an extension.
        if (pattern == QLatin1String("*.*")) pattern = QStringLiteral("*");
        if (!pattern.isEmpty()) patterns << pattern;
      }
    }
    if (description.isEmpty() && patterns.isEmpty()) continue;
    if (patterns.isEmpty()) patterns << QStringLiteral("*");
    if (description.endsWith(QLatin1Char(')'))) {
      const qsizetype open = description.lastIndexOf(QLatin1Char('('));
      if (open >= 0) description = description.left(open).trimmed();
    }
    if (description.isEmpty()) description = patterns.join(QLatin1Char(' '));
    QStringList matching;
    for (const QString& pattern : patterns) matching << CaseBlindPattern(pattern);
    result << description + QStringLiteral(" (") + matching.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return result;
}

QString QtFileFilter(std::string_view filter) {
  return QtNameFilters(filter).join(QStringLiteral(";;"));
}

void QtPlatform::showInfo(const std::string& text) {
  const OwnedBox box(
      MakeMessageBox(QMessageBox::Information, QStringLiteral("Information"), ToQt(text), QMessageBox::Ok, "msgInfo"));
  AdoptBox(*box);
  box->exec();
}

void QtPlatform::showMessage(const std::string& caption, const std::string& text) {
  const OwnedBox box(MakeMessageBox(QMessageBox::NoIcon, ToQt(caption), ToQt(text), QMessageBox::Ok, "msgMessage"));
  AdoptBox(*box);
  box->exec();
}

namespace {

bool AskConfirm(const std::string& text, QMessageBox::StandardButton defaultButton) {
  const OwnedBox box(MakeMessageBox(QMessageBox::Question, QStringLiteral("Confirm"), ToQt(text),
                                    QMessageBox::Yes | QMessageBox::No, "msgConfirm"));
  box->setDefaultButton(defaultButton);
  box->setEscapeButton(QMessageBox::No);
  AdoptBox(*box);
  box->exec();
  return box && box->clickedButton() == box->button(QMessageBox::Yes);
}

}  // namespace

bool QtPlatform::askYesNo(const std::string& text) {
  return AskConfirm(text, QMessageBox::Yes);
}

bool QtPlatform::askYesNoDefaultNo(const std::string& text) {
  return AskConfirm(text, QMessageBox::No);
}

std::optional<std::string> QtPlatform::inputBox(const std::string& caption, const std::string& prompt,
                                                const std::string& defaultText) {
  const OwnedBox dialog(new MagazineBox<QInputDialog>(BoxOwner()));
  dialog->setObjectName(QStringLiteral("inputBox"));
  dialog->setWindowTitle(ToQt(caption));
  dialog->setLabelText(ToQt(prompt));
  dialog->setInputMode(QInputDialog::TextInput);
  dialog->setTextValue(ToQt(defaultText));
  AdoptBox(*dialog);
  if (dialog->exec() != QDialog::Accepted || !dialog) return std::nullopt;
  return FromQt(dialog->textValue());
}

std::optional<FileDialogResult> QtPlatform::fileDialog(const FileDialogOptions& options, bool save) {
  const OwnedBox box(new MagazineBox<QFileDialog>(BoxOwner(), ToQt(options.caption), HostFile(options.initialDir)));
  QFileDialog& dialog = *box;
  dialog.setObjectName(save ? QStringLiteral("saveFileDialog") : QStringLiteral("openFileDialog"));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The descriptions only: the patterns spelled for every letter case would
  // clutter them.
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  const QStringList filters = QtNameFilters(options.filter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const qsizetype index =
        options.filterIndex >= 1 && options.filterIndex <= filters.size() ? options.filterIndex - 1 : 0;
    dialog.selectNameFilter(filters[index]);
  }
  std::string_view suffix = options.defaultExt;
  if (!suffix.empty() && suffix.front() == '.') suffix.remove_prefix(1);
  if (!suffix.empty()) dialog.setDefaultSuffix(ToQt(suffix));
  if (!options.fileName.empty()) dialog.selectFile(ToQt(HostPath(options.fileName)));
  AdoptBox(dialog);

  if (dialog.exec() != QDialog::Accepted || !box) return std::nullopt;
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  FileDialogResult result;
  result.path = FromQt(files.first());
  // With the details hidden the dialog names the filter by its description.
  const QString selected = dialog.selectedNameFilter();
  qsizetype chosen = filters.indexOf(selected);
  for (qsizetype i = 0; chosen < 0 && i < filters.size(); ++i)
    if (filters[i].startsWith(selected + QStringLiteral(" ("))) chosen = i;
  result.filterIndex = chosen >= 0 ? static_cast<int>(chosen) + 1 : options.filterIndex;
  return result;
}

std::optional<FileDialogResult> QtPlatform::openFileDialog(const FileDialogOptions& options) {
  return fileDialog(options, false);
}

std::optional<FileDialogResult> QtPlatform::saveFileDialog(const FileDialogOptions& options) {
  return fileDialog(options, true);
}

std::optional<std::string> QtPlatform::folderDialog(const std::string& caption,
                                                    const std::string& initialDir) {
  const OwnedBox box(new MagazineBox<QFileDialog>(BoxOwner(), ToQt(caption), HostFile(initialDir)));
  QFileDialog& dialog = *box;
  dialog.setObjectName(QStringLiteral("folderDialog"));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  AdoptBox(dialog);
  if (dialog.exec() != QDialog::Accepted || !box) return std::nullopt;
  const QStringList folders = dialog.selectedFiles();
  if (folders.isEmpty()) return std::nullopt;
  return FromQt(folders.first());
}

int QtPlatform::showModal(ModalWindow& window) {
  return window.execModal();
}

void QtPlatform::processEvents() {
  QCoreApplication::processEvents();
}

bool QtPlatform::openDocument(const std::string& target) {
  if (target.empty()) return false;
  // Our reading of the scheme, not QUrl's: the desktop hands other schemes
  // (ssh:, smb:, file: ...) to whatever claims them.
  const std::string scheme = UrlScheme(target);
  if (!scheme.empty() && !IsWebScheme(scheme)) return false;
  const QUrl url = scheme.empty() ? QUrl::fromLocalFile(QFileInfo(HostFile(target)).absoluteFilePath())
                                  : QUrl(ToQt(target));
  if (!url.isValid()) return false;
  return QDesktopServices::openUrl(url);
}

bool QtPlatform::startProgram(const std::string& commandLine, const std::string& workingDir) {
  return QProcess::startDetached(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), ToQt(commandLine)},
                                 HostFile(workingDir));
}

bool QtPlatform::listenForRemoteMessages(const std::string& name, std::function<void(int message)> handler) {
  std::unique_ptr<RemoteControl>& listener = m_remoteListeners[RemoteSocketFileName(name)];
  if (!listener) listener = std::make_unique<RemoteControl>();
  return listener->listen(name, std::move(handler));
}

bool QtPlatform::postRemoteMessage(const std::string& peer, int message) {
  return RemoteControl::post(peer, message);
}

bool QtPlatform::isAlreadyRunning(const std::string& title) {
  if (!m_singleInstance) m_singleInstance = std::make_unique<SingleInstance>();
  return m_singleInstance->isAlreadyRunning(title);
}

std::string QtPlatform::singleInstanceProblem() const {
  if (!m_singleInstance || m_singleInstance->checking()) return {};
  return "Single-instance check off: cannot create " + m_singleInstance->lockPath();
}

}  // namespace pagemoor
