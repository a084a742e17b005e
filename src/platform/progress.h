// The "Please Wait" progress of long conversions: item counts, percentages and Cancel.
#pragma once

#include <chrono>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace vesk {

class Progress {
  public:
    virtual ~Progress() = default;
    /// Shows "Processing Item %d".
    virtual void itemCount(int n) = 0;
    /// Shows "%d%% Complete"; a negative value (unknown) changes nothing.
    virtual void percent(int p) = 0;
    /// Handles what is pending without waiting; true once the user asked to cancel.
    virtual bool pump() = 0;
};

std::string itemText(int n);
std::string percentText(int p);

/// A bar on stderr when it is a terminal; silent otherwise. It redraws at most ten times a
/// second, whatever the rate of items, and clears its line when it ends, so that the summary
/// after it starts on a clean line.
class ConsoleProgress : public Progress {
  public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    ConsoleProgress();
    /// Draws on `out` when `terminal` is set, reading the time from `clock`.
    ConsoleProgress(std::ostream& out, bool terminal, Clock clock);
    ~ConsoleProgress() override;
    ConsoleProgress(const ConsoleProgress&) = delete;
    ConsoleProgress& operator=(const ConsoleProgress&) = delete;
    void itemCount(int n) override;
    void percent(int p) override;
    bool pump() override { return false; }
    /// The work is done: shows 100% at once, however recent the last redraw.
    void finish();
    /// Empties the bar's line (nothing when nothing was drawn).
    void clear();

  private:
    void draw(bool now);
    std::ostream& m_out;
    bool m_terminal;
    Clock m_clock;
    std::chrono::steady_clock::time_point m_lastDraw;
    std::string m_text;
    int m_percent = -1;
    std::size_t m_drawnWidth = 0;
};

/// For tests: keeps what it was shown and cancels at the n-th pump when told to.
class RecordingProgress : public Progress {
  public:
    std::vector<int> items;
    std::vector<int> percents;
    std::vector<std::string> texts;
    int pumps = 0;
    int cancelAtPump = -1;

    void itemCount(int n) override;
    void percent(int p) override;
    bool pump() override;
};

}  // namespace vesk
