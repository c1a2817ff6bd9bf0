#pragma once
// The HTTP download component.
#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

enum class TUseProxy : std::uint8_t { Preconfig = 0, Direct = 1, Proxy = 2 };

class THTTPGet : public QObject {
  Q_OBJECT
 public:
  explicit THTTPGet(QObject* owner);

  std::string AcceptTypes = "*/*";
  std::string Agent = "Kelvor HTTPGet";
  bool BinaryData = false;
  std::string URL;
  bool UseCache = false;
  TUseProxy UseProxy = TUseProxy::Preconfig;
  std::string ProxyHost;
  std::uint32_t ProxyPort = 0;
  std::string FileName;
  std::string UserName;
  std::string Password;
  std::string PostQuery;
  std::string Referer;
  bool WaitThread = false;
  std::function<void(QObject* sender, int totalSize, int readed)> OnProgress;
  std::function<void(QObject* sender, const std::string& fileName, int fileSize)> OnDoneFile;
  std::function<void(QObject* sender)> OnError;
};
