#include "program/program.h"

#include <string>
#include <string_view>

#include "program/structure_check.h"
#include "run/parameters.h"
#include "support/messages.h"
#include "support/text.h"

namespace zarn {

namespace {

// Everything from the first occurrence of this marker to the end of a
// program line is a comment, wherever it stands, quoted text included.
constexpr std::string_view kCommentMarker = "///";

// Appends the operation held by one program line (its line end already
// removed), unless the line is blank or a comment only.
void AddProgramLine(RunState& st, std::string_view piece) {
  // Only the blank (32) counts as empty space: a line of tabs is an
  // operation, with an empty command.
  if (TrimBlanks(piece).empty()) return;
  size_t marker = piece.find(kCommentMarker);
  if (marker != std::string_view::npos) piece = piece.substr(0, marker);
  if (TrimBlanks(piece).empty()) return;
  Oper op;
  op.line = std::string(piece);  // kept as written, blanks and tabs included
  op.text = NormalizeLine(op.line);
  st.OperList.push_back(std::move(op));
}

}  // namespace

std::string NormalizeLine(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c == '\t') c = ' ';
  }
  return out;
}

void LoadProgram(RunState& st) {
  st.OperList.clear();
  st.OperCount = 0;
  st.program_facts.reset();  // they described the previous program

  const std::string path = ProgramPath(st);
  std::string content;
  const int status = st.fs.ReadWholeFile(path, &content);
  if (status != 0) {
    ComposeMessage(st, "ProcessFile", "ZARNPFI001CE", "/{1}/{2}/",
                   MsgValues({path, std::to_string(status)}));
    st.FinalMsg = st.MsgText;
    Log(st, st.FinalMsg);
    st.ErrFlag = 1;
    return;
  }

  // A line ends at LF; a CR directly before that LF belongs to the line end,
  // so programs written with CR LF and with LF load alike. A CR anywhere
  // else is a character of the line. The text after the last line end is a
  // line of its own.
  std::string_view rest(content);
  while (true) {
    size_t lf = rest.find('\n');
    std::string_view piece = rest.substr(0, lf);
    if (lf != std::string_view::npos && !piece.empty() &&
        piece.back() == '\r') {
      piece.remove_suffix(1);
    }
    AddProgramLine(st, piece);
    if (lf == std::string_view::npos) break;
    rest.remove_prefix(lf + 1);
  }
  st.OperCount = static_cast<int32_t>(st.OperList.size());

  st.FinalMsg.clear();
  CheckZarnProgStructure(st);
  if (st.FinalMsg.empty()) return;

  // The log receives the settings and the program as loaded, the header of
  // the report and the error itself; FinalMsg keeps the error for the final
  // report.
  st.ErrFlag = 1;
  WriteParmListing(st, st.LogFile, &st.LogErrNo);
  if (!st.ListingDone) {
    WriteProgramListing(st, st.LogFile);
    st.ListingDone = true;
  }
  LogMessage(st, "CheckZarnProgStructure", "ZARNCTP000CT");
  Log(st, st.FinalMsg);
}

void WriteProgramListing(RunState& st, const std::string& logfile) {
  LogTo(st, logfile,
           "--- Zarn program from the '" + ProgramPath(st) + "' file",
           &st.LogErrNo);
  for (int32_t i = 1; i <= st.OperCount; ++i) {
    std::string entry = "[" + PaddedNumber(i, 3) + "]";
    entry.append(st.OperAt(i).line);
    LogTo(st, logfile, entry, &st.LogErrNo);
  }
}

}  // namespace zarn
