#pragma once
// Which long command runs, kept in one place. A command marks itself running with a CommandScope, which ends
// the mark on every path out of the command, an exception's included; the window is told of every change and
// enables what may run then. One state per main window, handed to every room that runs such a command.
#include <functional>
#include <utility>

namespace quorrel {

// What a long command keeps from the user while it runs.
enum class CommandHold {
  Commands,              // the other long commands
  CommandsAndCatalogue,  // those, and the choice of another game (the command works on the game on display)
  Update,                // as CommandsAndCatalogue, and a second update for as long as this one runs
};

class CommandState {
 public:
  // True while a long command keeps the others out.
  bool busy() const { return marks_.busy; }
  // True while the catalogue's tree takes no choice.
  bool catalogueLocked() const { return marks_.catalogue; }
  // True while the update runs, also after a failed transfer gave the other commands back: a second update
  // started then would take this one's backup for a stale file.
  bool updateRunning() const { return marks_.update; }

  // A failed transfer gives the window back for the rest of the command it ran in: other commands may start
  // and another game may be chosen. The update's own mark stays.
  void releaseAfterFailure() { change({false, false, marks_.update}); }

  // Called after every change of the state.
  void setObserver(std::function<void()> observer) { observer_ = std::move(observer); }

 private:
  friend class CommandScope;
  struct Marks {
    bool busy = false;
    bool catalogue = false;
    bool update = false;
  };
  void change(Marks marks) {
    marks_ = marks;
    if (observer_) observer_();
  }

  Marks marks_;
  std::function<void()> observer_;
};

// Marks a long command running for its lifetime; at its end the state is as it was before.
class CommandScope {
 public:
  CommandScope(CommandState& state, CommandHold hold) : state_(state), before_(state.marks_) {
    state_.change({true, hold != CommandHold::Commands, hold == CommandHold::Update || before_.update});
  }
  ~CommandScope() { state_.change(before_); }
  CommandScope(const CommandScope&) = delete;
  CommandScope& operator=(const CommandScope&) = delete;

 private:
  CommandState& state_;
  const CommandState::Marks before_;
};

}  // namespace quorrel
