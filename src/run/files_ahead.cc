#include "run/files_ahead.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <new>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>

#include "commands/machine.h"
#include "run/file_loop.h"
#include "run/interrupt.h"
#include "support/ini.h"
#include "support/messages.h"

namespace zarn {

namespace {

// The run as a machine running ahead sees it: the lines it would log and
// say, kept for the file loop, which writes them in the file's turn. The
// message file is only read.
class RecordingHost : public MachineHost {
 public:
  struct Event {
    enum class Kind { kLog, kNotice, kListing };
    Kind kind;
    std::string text;
  };

  RecordingHost(const IniFile& messages, std::string message_file)
      : messages_(messages), message_file_(std::move(message_file)) {}

  void LogLine(std::string_view text) override {
    events_.push_back({Event::Kind::kLog, std::string(text)});
  }
  void Notice(std::string_view text) override {
    events_.push_back({Event::Kind::kNotice, std::string(text)});
  }
  std::string MessageText(std::string_view section, std::string_view code,
                          std::string_view tmpl,
                          std::string_view values) override {
    std::string text = GetIniValue(messages_, message_file_, section, code);
    if (!tmpl.empty()) text = FillPlaceholders(text, tmpl, values);
    return text;
  }
  void ListProgramOnce() override {
    events_.push_back({Event::Kind::kListing, std::string()});
  }

  std::vector<Event> Take() { return std::exchange(events_, {}); }

 private:
  const IniFile& messages_;
  const std::string message_file_;
  std::vector<Event> events_;
};

}  // namespace

// One file in flight: its read, then what its run left.
struct FilesAhead::Slot {
  size_t index = 0;
  int read_error = 0;
  FileRun run;
  int32_t changes = 0;
  std::string changes_text;  // *changes as the run left it
  ErrorState flag = ErrorState::kNone;
  bool interrupted = false;
  bool out_of_memory = false;
  std::vector<RecordingHost::Event> events;
  // What the worker's file system is made from; null: read already.
  std::shared_ptr<FileSystem> source;
  bool claimed = false;       // a worker has taken it
  bool read_in_turn = false;  // read by the file loop in the file's turn
  bool done = false;
};

namespace {

// Over how many files, and below which mean size, files count as small:
// then one worker fewer runs, and the file loop's thread takes its place.
constexpr int64_t kFilesToJudge = 32;
constexpr int64_t kSmallFileBytes = 16 * 1024;
// The most room a worker keeps from one file's text for its next read.
constexpr size_t kKeptRoom = size_t{1} << 20;

}  // namespace

struct FilesAhead::Worker {
  // interrupt: the note that ends the program for the file in hand.
  Worker(RunState& st, const std::atomic<int>* interrupt, size_t n)
      : number(n),
        host(st.MessageFile(), st.MsgFile),
        machine(host, st.Program()) {
    // The variables as the run has them before its first file.
    machine.StrVars = st.machine.StrVars;
    machine.RangeVars = st.machine.RangeVars;
    machine.max_text_size = st.machine.max_text_size;
    machine.step_limit = st.machine.step_limit;
    machine.interrupt = interrupt;
    machine.SetEncoding(st.encoding);
  }

  // Runs the program on the file read into slot, as ProcessFile does.
  void Run(Slot& slot, bool keep_original) {
    machine.ErrFlag = ErrorState::kNone;
    machine.LimitReported = false;
    machine.StrVars.Set("*file", files_path);
    try {
      slot.run.rewrite =
          RunOnFile(machine, slot.run.content, slot.changes,
                    keep_original ? &slot.run.original : nullptr);
    } catch (const std::bad_alloc&) {
      // Only this file's work is lost, as in a sequential run.
      slot.out_of_memory = true;
      slot.run.content.clear();
      slot.run.original.clear();
    }
    slot.interrupted = InterruptSignal() != 0;
    slot.flag = machine.ErrFlag;
    slot.changes_text = std::string(machine.StrVars.ValueOrEmpty("*changes"));
    slot.events = host.Take();
  }

  const size_t number;  // from 0, in the order the workers were started
  RecordingHost host;
  Machine machine;
  std::string files_path;  // the path of the file in hand
  // The room of the last text written out, for the next read: memory a
  // worker took stays with it, rather than going back to its heap from
  // the file loop's thread with the slot (which returns it to the system
  // and makes the next read fault it in again).
  std::string room;
  // The worker's own file system, for the files of segment `fs_segment`.
  std::unique_ptr<FileSystem> fs;
  int32_t fs_segment = -1;
  std::thread thread;
};

int UsableCores() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) != 0) return 1;
  return std::max(CPU_COUNT(&set), 1);
}

FilesAhead::FilesAhead(RunState& st, std::vector<File> files, int workers)
    : st_(st),
      files_(std::move(files)),
      keep_original_(KeepsOriginal(st.options)) {
  redo_ = std::make_unique<Worker>(st, st.machine.interrupt, 0);
  for (size_t i = 0; i < static_cast<size_t>(std::max(workers, 1)); ++i) {
    workers_.push_back(std::make_unique<Worker>(st, &cancel_, i));
  }
  active_ = workers_.size();
  try {
    for (std::unique_ptr<Worker>& worker : workers_) {
      Worker* w = worker.get();
      w->thread = std::thread([this, w] { WorkerLoop(*w); });
    }
  } catch (const std::system_error&) {
    // No thread to be had: the ones started end, and the caller runs the
    // files one after another.
    Stop();
    throw;
  }
}

FilesAhead::~FilesAhead() { Stop(); }

void FilesAhead::Stop() {
  // The files still running are never committed: their programs end now.
  cancel_.store(-1);
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  work_ready_.notify_all();
  for (std::unique_ptr<Worker>& worker : workers_) {
    if (worker->thread.joinable()) worker->thread.join();
  }
}

void FilesAhead::WorkerLoop(Worker& worker) {
  KeepInterruptsFromThisThread();
  std::vector<UniqueFd> to_close;
  for (;;) {
    Slot* slot = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_ready_.wait(lock, [this, &worker] {
        return stopping_ || worker.number >= active_ || !queue_.empty();
      });
      // A worker beyond the ones still wanted ends for good.
      if (stopping_ || worker.number >= active_) return;
      slot = queue_.front();
      queue_.pop_front();
      slot->claimed = true;
      to_close.swap(closing_);
    }
    to_close.clear();
    const File& file = files_[slot->index];
    worker.files_path = file.path;
    if (slot->source != nullptr) {
      if (worker.fs_segment != file.segment) {
        worker.fs = slot->source->ForWorker();
        worker.fs_segment = file.segment;
      }
      if (worker.fs == nullptr) {
        slot->read_error = EMFILE;
      } else {
        ReadInto(*slot, *worker.fs, &worker.room);
      }
    }
    if (slot->read_error == 0) {
      worker.Run(*slot, keep_original_);
      // The new text waits beside the file for its turn; if that fails,
      // the commit writes it and meets the failure itself.
      if (worker.fs != nullptr && slot->source != nullptr &&
          slot->run.rewrite && !st_.options.dry_run && !slot->out_of_memory &&
          !slot->interrupted &&
          worker.fs->PrepareReplace(file.path, slot->run.content,
                                    &slot->run.read,
                                    &slot->run.prepared) == 0) {
        std::string written = std::move(slot->run.content);
        if (written.capacity() <= kKeptRoom) worker.room = std::move(written);
      }
    }
    // A file that stays as it is is closed here rather than by the file
    // loop. One to be replaced stays open until after its rename (see
    // Process).
    if (!slot->run.rewrite) slot->run.read = ReadHandle();
    bool awaited = false;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      slot->done = true;
      awaited = awaited_ == slot->index;
    }
    // The file loop sleeps only on the file whose turn it is.
    if (awaited) work_done_.notify_one();
  }
}

void FilesAhead::ReadInto(Slot& slot, FileSystem& fs, std::string* room) {
  const File& file = files_[slot.index];
  slot.run = FileRun();
  if (room != nullptr) slot.run.content = std::move(*room);
  slot.read_error = fs.ReadFile(file.path, file.listed, &slot.run.content,
                                &slot.run.stamp, &slot.run.read);
}

FilesAhead::Slot& FilesAhead::Fill(size_t index) {
  // The files before it that the loop skipped are never read.
  next_read_ = std::max(next_read_, index);
  const int32_t segment = files_[index].segment;
  const size_t window = 2 * workers_.size();
  while (next_read_ < files_.size() && next_read_ < index + window &&
         files_[next_read_].segment == segment) {
    auto slot = std::make_unique<Slot>();
    slot->index = next_read_;
    // The tree of a new segment is open now: the workers' file systems
    // are made from it.
    if (segment != segment_) {
      segment_ = segment;
      worker_source_ = st_.fs.ForWorker();
    }
    if (worker_source_ != nullptr) {
      slot->source = worker_source_;
    } else {
      ReadInto(*slot, st_.fs);
    }
    Slot* ready = slot.get();
    bool queued = false;
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (ready->read_error != 0) {
        ready->done = true;
      } else {
        queue_.push_back(ready);
        queued = true;
      }
      slots_.emplace(next_read_, std::move(slot));
    }
    // A worker is woken only for a file it is to take.
    if (queued) work_ready_.notify_one();
    ++next_read_;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  Slot& slot = *slots_.at(index);
  // A file whose turn has come before any worker took it is read and run
  // here, as a file that changed since its read is run again in its turn,
  // instead of waiting for a worker.
  if (!slot.claimed && !slot.done) {
    const auto queued = std::find(queue_.begin(), queue_.end(), &slot);
    if (queued != queue_.end()) queue_.erase(queued);
    lock.unlock();
    RunHere(slot, /*in_turn=*/true);
    lock.lock();
    slot.done = true;
    return slot;
  }
  awaited_ = index;
  while (!slot.done) {
    // Small files: rather than wait, this thread runs the file furthest
    // ahead that no worker has taken (the workers take them from the
    // front), so that the committing and the running stay balanced.
    if (active_ < workers_.size() && !queue_.empty()) {
      Slot* ahead = queue_.back();
      queue_.pop_back();
      ahead->claimed = true;
      lock.unlock();
      RunHere(*ahead, /*in_turn=*/false);
      lock.lock();
      ahead->done = true;
      continue;
    }
    // A signal ends the programs of the workers too (the thread that
    // receives it is this one), so that a file in an endless loop is left
    // as a sequential run leaves it.
    work_done_.wait_for(lock, std::chrono::milliseconds(20));
    if (const int sig = InterruptSignal()) cancel_.store(sig);
  }
  return slot;
}

void FilesAhead::RunHere(Slot& slot, bool in_turn) {
  if (slot.source != nullptr) {
    ReadInto(slot, st_.fs);
    slot.read_in_turn = in_turn;
  }
  if (slot.read_error == 0) {
    redo_->files_path = files_[slot.index].path;
    redo_->Run(slot, keep_original_);
  }
}

void FilesAhead::Process(size_t index) {
  const std::string& path = files_[index].path;
  st_.machine.StrVars.Set("*file", path);
  Slot& slot = Fill(index);
  // Read ahead, the file may since have changed: replaced by an earlier
  // file of the run (a second path of it), or written to (the run's own
  // log, processed as a data file, or another program). Its read in its
  // turn would have seen that: it is read and run again now.
  FileStamp now;
  if (slot.read_error == 0 && !slot.read_in_turn &&
      (st_.fs.StampFile(path, &now) != 0 || now != slot.run.stamp)) {
    ReadInto(slot, st_.fs);
    if (slot.read_error == 0) {
      redo_->files_path = path;
      redo_->Run(slot, keep_original_);
    }
  }
  // Whatever happens to this file, its slot goes with it.
  struct Release {
    FilesAhead& ahead;
    size_t index;
    ~Release() {
      const std::lock_guard<std::mutex> lock(ahead.mutex_);
      ahead.slots_.erase(index);
    }
  } release{*this, index};

  if (slot.read_error != 0) {
    ReadFailed(st_, path, slot.read_error);
    return;
  }
  if (files_seen_ < kFilesToJudge) {
    ++files_seen_;
    bytes_seen_ += slot.run.stamp.size;
    if (files_seen_ == kFilesToJudge &&
        bytes_seen_ < kFilesToJudge * kSmallFileBytes && active_ > 1) {
      // Small files: the file loop's thread, which takes every file no
      // worker has taken yet, is as busy as a worker, and one more
      // thread than there are cores would only make them wait on each
      // other. The last worker ends.
      {
        const std::lock_guard<std::mutex> lock(mutex_);
        --active_;
      }
      work_ready_.notify_all();
    }
  }
  for (const RecordingHost::Event& event : slot.events) {
    switch (event.kind) {
      case RecordingHost::Event::Kind::kLog:
        st_.LogLine(event.text);
        break;
      case RecordingHost::Event::Kind::kNotice:
        st_.Notice(event.text);
        break;
      case RecordingHost::Event::Kind::kListing:
        st_.ListProgramOnce();
        break;
    }
  }
  Machine& m = st_.machine;
  m.StrVars.Set("*changes", slot.changes_text);
  m.ErrFlag = slot.flag;
  if (slot.out_of_memory) throw std::bad_alloc();
  SetIntVar(m, "*allchanges", int64_t{IntVar(m, "*allchanges")} + slot.changes);
  if (slot.interrupted) {
    st_.FileAbandoned = true;
    return;
  }
  CommitFile(st_, path, slot.run);
  // The replaced file, still open, is closed by a worker: the last close
  // of a file renamed over frees its storage, which is work this thread,
  // the one that commits every file, need not do.
  if (slot.run.read.fd.get() >= 0) {
    const std::lock_guard<std::mutex> lock(mutex_);
    closing_.push_back(std::move(slot.run.read.fd));
  }
}

}  // namespace zarn
