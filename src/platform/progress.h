// The "Please Wait" progress of long conversions: item counts, percentages and Cancel.
#pragma once

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

/// A bar on stderr when it is a terminal; silent otherwise.
class ConsoleProgress : public Progress {
  public:
    ConsoleProgress();
    ~ConsoleProgress() override;
    void itemCount(int n) override;
    void percent(int p) override;
    bool pump() override { return false; }

  private:
    void draw();
    bool m_terminal;
    std::string m_text;
    int m_percent = -1;
    bool m_drawn = false;
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
