#pragma once
// Holds one of the odd test plugins open beside the binding, so the test can configure it and read what it
// was asked, also after the binding released it.
#include <dlfcn.h>

#include <stdexcept>
#include <string>

class OddPluginControl {
 public:
  explicit OddPluginControl(const std::string& path) : path_(path) {
    handle_ = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) throw std::runtime_error("cannot load " + path);
    configure_ = reinterpret_cast<void (*)(const char*, const char*)>(::dlsym(handle_, "OddConfigure"));
    trace_ = reinterpret_cast<const char* (*)()>(::dlsym(handle_, "OddTrace"));
    lastSet_ = reinterpret_cast<const char* (*)()>(::dlsym(handle_, "OddLastSetList"));
    reset_ = reinterpret_cast<void (*)()>(::dlsym(handle_, "OddReset"));
    clearTrace_ = reinterpret_cast<void (*)()>(::dlsym(handle_, "OddClearTrace"));
    reset_();
  }
  ~OddPluginControl() { ::dlclose(handle_); }
  OddPluginControl(const OddPluginControl&) = delete;
  OddPluginControl& operator=(const OddPluginControl&) = delete;

  const std::string& path() const { return path_; }
  void set(const std::string& key, const std::string& value) { configure_(key.c_str(), value.c_str()); }
  // Every call the plugin got, one line each.
  std::string trace() const { return trace_(); }
  std::string lastSetList() const { return lastSet_(); }
  bool called(const std::string& prefix) const { return trace().find(prefix) != std::string::npos; }
  void clearTrace() { clearTrace_(); }

 private:
  std::string path_;
  void* handle_ = nullptr;
  void (*configure_)(const char*, const char*) = nullptr;
  const char* (*trace_)() = nullptr;
  const char* (*lastSet_)() = nullptr;
  void (*reset_)() = nullptr;
  void (*clearTrace_)() = nullptr;
};
