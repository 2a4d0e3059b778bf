// The clock seam: log stamps and the name of the writability test file read
// the local time through it, so tests can fix the time.
//
// Thread-safety: the system clock may be read from any thread; a fake clock
// of a test is read by one.
#ifndef ZARN_SUPPORT_CLOCK_H_
#define ZARN_SUPPORT_CLOCK_H_

namespace zarn {

struct LocalTime {
  int year = 1970, month = 1, day = 1;
  int hour = 0, minute = 0, second = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  virtual LocalTime Now() = 0;
};

class RealClock : public Clock {
 public:
  LocalTime Now() override;
};

class FakeClock : public Clock {
 public:
  explicit FakeClock(LocalTime t = {}) : time_(t) {}
  LocalTime Now() override { return time_; }
  void Set(LocalTime t) { time_ = t; }

 private:
  LocalTime time_;
};

}  // namespace zarn

#endif  // ZARN_SUPPORT_CLOCK_H_
