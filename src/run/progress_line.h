// The progress line: while a run edits files and standard error is a
// terminal, one line there shows the files done out of the files selected,
// the changes so far and the file being processed. It rewrites itself in
// place (carriage return, text, erase to the end of the line) and is
// erased when the run ends, so the terminal is left as it was. Anything
// else written to the same terminal meanwhile (log lines, a diff) hides it
// first and shows it again after.
#ifndef ZARN_RUN_PROGRESS_LINE_H_
#define ZARN_RUN_PROGRESS_LINE_H_

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <string_view>

namespace zarn {

class ProgressLine {
 public:
  // Milliseconds of a monotonic clock.
  using Clock = std::function<int64_t()>;
  // A terminal takes a while to draw; a run over many small files redraws
  // at most this often.
  static constexpr int64_t kRedrawMillis = 100;

  // out is the terminal, width its number of columns (the line is kept one
  // shorter, so that it never wraps and a carriage return always reaches
  // its start).
  ProgressLine(std::ostream& out, int width, Clock now = SteadyMillis);

  // The run has selected total files and begins; draws the line.
  void Start(int64_t total);
  // The file current (relative to the data folder) is next, after done
  // files and changes changes in all. Redrawn unless drawn very recently.
  void Update(int64_t done, std::string_view current, int64_t changes);
  // Erases the line, if shown, before other output on the terminal.
  void Hide();
  // Draws it again after Hide.
  void Show();
  // The run is over: erases the line for good.
  void Finish();

  // The text of the line for the current state, cut to fit.
  std::string Text() const;

  static int64_t SteadyMillis();

 private:
  void Draw();

  std::ostream& out_;
  int width_;
  Clock now_;
  bool active_ = false;   // between Start and Finish
  bool visible_ = false;  // drawn and not erased
  int64_t last_draw_ = 0;
  int64_t total_ = 0;
  int64_t done_ = 0;
  int64_t changes_ = 0;
  std::string current_;
};

// Writes one log line (its CR LF ended by a bare LF) to out, as a copy of
// the log; the progress line, when there is one, stays below it.
void EchoLogLine(std::ostream& out, std::string_view line,
                 ProgressLine* progress);

// The number of columns of the terminal on the descriptor (80 when it
// does not say).
int TerminalWidth(int fd);

}  // namespace zarn

#endif  // ZARN_RUN_PROGRESS_LINE_H_
