#include "program/program.h"

#include <string>
#include <string_view>

#include "support/text.h"

namespace zarn {

namespace {

// Everything from the first occurrence of this marker to the end of a
// program line is a comment, wherever it stands, quoted text included.
constexpr std::string_view kCommentMarker = "///";

// Appends the operation held by one program line (its line end already
// removed), unless the line is blank or a comment only.
void AddProgramLine(std::vector<Oper>& opers, std::string_view piece,
                    int32_t line_number) {
  // Only the blank (32) counts as empty space: a line of tabs is an
  // operation, with an empty command.
  if (TrimBlanks(piece).empty()) return;
  size_t marker = piece.find(kCommentMarker);
  if (marker != std::string_view::npos) piece = piece.substr(0, marker);
  if (TrimBlanks(piece).empty()) return;
  Oper op;
  op.line = std::string(piece);  // kept as written, blanks and tabs included
  op.text = NormalizeLine(op.line);
  op.line_number = line_number;
  opers.push_back(std::move(op));
}

}  // namespace

std::string NormalizeLine(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\t') c = ' ';
  }
  return out;
}

LoadedProgram LoadProgram(FileSystem& fs, const std::string& path) {
  LoadedProgram loaded;
  std::string content;
  loaded.read_error = fs.ReadWholeFile(path, &content);
  if (loaded.read_error != 0) return loaded;
  return LoadProgramText(content);
}

LoadedProgram LoadProgramText(std::string_view content) {
  LoadedProgram loaded;
  loaded.OperList = ReadProgramText(content);
  loaded.finding = CheckZarnProgStructure(loaded.OperList);
  return loaded;
}

std::vector<Oper> ReadProgramText(std::string_view content) {
  std::vector<Oper> opers;
  // A line ends at LF; a CR directly before that LF belongs to the line end,
  // so programs written with CR LF and with LF load alike. A CR anywhere
  // else is a character of the line. The text after the last line end is a
  // line of its own.
  std::string_view rest(content);
  for (int32_t number = 1;; ++number) {
    size_t lf = rest.find('\n');
    std::string_view piece = rest.substr(0, lf);
    if (lf != std::string_view::npos && !piece.empty() &&
        piece.back() == '\r') {
      piece.remove_suffix(1);
    }
    AddProgramLine(opers, piece, number);
    if (lf == std::string_view::npos) break;
    rest.remove_prefix(lf + 1);
  }
  return opers;
}

std::vector<std::string> ProgramListing(const std::vector<Oper>& opers,
                                        std::string_view path) {
  std::vector<std::string> lines;
  lines.reserve(opers.size() + 1);
  lines.push_back("--- Zarn program from the '" + std::string(path) + "' file");
  for (size_t i = 0; i < opers.size(); ++i) {
    lines.push_back("[" + PaddedNumber(static_cast<int64_t>(i) + 1, 3) + "]" +
                    opers[i].line);
  }
  return lines;
}

}  // namespace zarn
