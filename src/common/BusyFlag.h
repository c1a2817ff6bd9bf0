#pragma once
// The flag that keeps the long commands (downloads, the update, uploads) out of each other: a command that
// finds it set does nothing. One flag per main window, handed to every subsystem that runs such a command.
namespace quorrel {

class BusyFlag {
 public:
  bool isSet() const { return set_; }
  void set() { set_ = true; }
  void clear() { set_ = false; }

 private:
  bool set_ = false;
};

}  // namespace quorrel
