// The system's message boxes, numbered messages and registry helpers, on top
// of whatever platform() is.
#pragma once

#include <string>
#include <vector>

namespace pagemoor {

// Information box with one OK button (caption "Information").
void ShowInfo(const std::string& text);
// Confirmation box with Yes and No (caption "Confirm"); true for Yes.
bool AskYesNo(const std::string& text);

// Shows entry `number` (from 1) of the numbered message table through ShowInfo.
// The table starts empty and grows only here: when it has no entry `number`,
// the default text is stored there and shown. A number more than one past the
// end cannot be stored (the table has no holes); its default is shown and
// forgotten, as is that of a number below 1.
//
// Without format arguments the entry is shown as it is, "%s" and all.
void ShowNumberedMessage(int number, const std::string& defaultText);
// With format arguments the entry is a format (FormatText: %s, %d, %%) filled
// with them; the table keeps the unfilled text.
void ShowNumberedMessage(int number, const std::string& defaultText,
                         const std::vector<std::string>& formatArgs);
// Empties the numbered message table (tests).
void ResetNumberedMessages();

// Registry values addressed by a root key ("HKEY_CURRENT_USER", ...) and a
// full path whose last step is the value name: "SOFTWARE\Tarnwick\Path".
//
// The value, or empty text when it is missing. The key is created when it
// does not exist yet.
std::string ReadRegString(const std::string& rootKey, const std::string& path);
// Deletes the value; the key is created when missing, as a read would.
void DeleteRegValue(const std::string& rootKey, const std::string& path);
void WriteRegString(const std::string& rootKey, const std::string& path, const std::string& value);

}  // namespace pagemoor
