#pragma once

#include "intervaltimer.h"
#include "messages.h"
#include "tableview.h"

#include <QString>
#include <optional>

// Table files: one line "PPM4," / "COD4," / "PPM," / "COD," followed by every field of the
// channels saved, each with a comma after it, ended by CR LF.
namespace TableFile {

// Largest file Load reads: a table line is a few hundred characters.
inline constexpr qint64 kMaxFileBytes = 1024 * 1024;

// The table line without its CR LF: four channels when the controller has four, else two.
QString BuildLine(const TableView& table, bool fourCh);

// When a text field of the channels saved holds a comma or a line break (which would shift or
// cut every later field on loading), the field's caption; otherwise nothing.
std::optional<QString> FieldBreakingLine(const TableView& table, bool fourCh);

// The name a file is saved under: ".txt" appended unless it ends in ".txt" or ".TXT".
QString FileNameWithExtension(const QString& name);

// Whether a name holds a folder separator, which would take the file out of the chosen folder.
bool HoldsSeparator(const QString& name);

// Folder, one separator, name: a plain file-system path, never a resource path, whatever the name
// starts with. A folder that already ends with a separator (a root such as "/" or "C:\") gets the
// name appended directly.
QString JoinPath(const QString& dir, const QString& name);

// Checks the whole line first and stores it only when every field is there and every
// hexadecimal field fits 16 bits; a refused line leaves the table untouched. Returns whether the
// line was applied. The header alone decides the channel count and the speed unit.
bool ApplyLine(TableView& table, const QString& line);

// The last line of a file's text, as reading it line by line would leave it: a terminator at the
// very end starts no further line, and an empty text gives the empty line.
QString LastLine(const QString& text);

// "Save to File". Returns the new text of the name box (".txt" appended where needed). The file is
// replaced whole or not at all.
QString Save(const TableView& table, bool fourCh, const QString& dirPath, const QString& fileNameBoxText,
             MessageSink& messages);

// "Load from File" of the file selected in the folder. Clears the table first (unless a read or
// write runs). Returns whether a table was loaded.
bool Load(TableView& table, const QString& dirPath, const QString& selectedFile, MessageSink& messages,
          const IntervalTimer& tmrTokei, const IntervalTimer& tmrWrite);

}  // namespace TableFile
