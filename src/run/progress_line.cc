#include "run/progress_line.h"

#include <sys/ioctl.h>

#include <chrono>

#include "support/text.h"

namespace zarn {

namespace {

// Returns the cursor to the start of the line and erases it.
constexpr std::string_view kErase = "\r\x1b[K";

// A file name may hold control characters (an escape would drive the
// terminal); they are shown as '?'.
std::string Printable(std::string_view s) { return MaskControls(s); }

// The tail of s in at most room bytes, led by "..." when cut, and never
// cut inside a UTF-8 sequence.
std::string Tail(std::string_view s, size_t room) {
  if (s.size() <= room) return std::string(s);
  if (room <= 3) return std::string(room, '.');
  size_t from = s.size() - (room - 3);
  while (from < s.size() &&
         (static_cast<unsigned char>(s[from]) & 0xC0) == 0x80) {
    ++from;
  }
  return "..." + std::string(s.substr(from));
}

}  // namespace

ProgressLine::ProgressLine(std::ostream& out, int width, Clock now)
    : out_(out), width_(width > 0 ? width : 80), now_(std::move(now)) {}

int64_t ProgressLine::SteadyMillis() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string ProgressLine::Text() const {
  std::string text = std::to_string(done_) + "/" + std::to_string(total_) +
                     " files, " + std::to_string(changes_) + " changes";
  if (!current_.empty()) text += ": ";
  const size_t room = static_cast<size_t>(width_ > 1 ? width_ - 1 : 1);
  if (text.size() >= room) return text.substr(0, room);
  return text + Tail(current_, room - text.size());
}

void ProgressLine::Draw() {
  std::string line(kErase.substr(0, 1));  // back to the start of the line
  line += Text();
  line += kErase.substr(1);  // and away with what an older text left
  out_.write(line.data(), static_cast<std::streamsize>(line.size()));
  out_.flush();
  visible_ = true;
  last_draw_ = now_();
}

void ProgressLine::Start(int64_t total) {
  total_ = total;
  active_ = true;
  Draw();
}

void ProgressLine::Update(int64_t done, std::string_view current,
                          int64_t changes) {
  if (!active_) return;
  done_ = done;
  changes_ = changes;
  current_ = Printable(current);
  if (visible_ && now_() - last_draw_ < kRedrawMillis) return;
  Draw();
}

void ProgressLine::Hide() {
  if (!visible_) return;
  out_.write(kErase.data(), static_cast<std::streamsize>(kErase.size()));
  out_.flush();
  visible_ = false;
}

void ProgressLine::Show() {
  if (active_ && !visible_) Draw();
}

void ProgressLine::Finish() {
  Hide();
  active_ = false;
}

void EchoLogLine(std::ostream& out, std::string_view line,
                 ProgressLine* progress) {
  if (line.size() >= 2 && line.substr(line.size() - 2) == "\r\n") {
    line.remove_suffix(2);
  }
  if (progress) progress->Hide();
  std::string copy(line);
  copy.push_back('\n');
  out.write(copy.data(), static_cast<std::streamsize>(copy.size()));
  out.flush();
  if (progress) progress->Show();
}

int TerminalWidth(int fd) {
  struct winsize ws {};
  if (::ioctl(fd, TIOCGWINSZ, &ws) == 0 && ws.ws_col > 0) return ws.ws_col;
  return 80;
}

}  // namespace zarn
