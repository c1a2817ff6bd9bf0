#include "app/MainUnit.h"

void TMainForm::ConfigureHTTPGetFile() {}
void TMainForm::DownloadFromServer(const std::string& /*relativePath*/) {}
int TMainForm::RemoteFileSize(const std::string& /*url*/) { return -1; }
int TMainForm::LocalFileSize(const std::string& /*path*/) { return -1; }
void TMainForm::HTTPGetFileProgress(QObject* /*sender*/, int /*totalSize*/, int /*readed*/) {}
void TMainForm::HTTPGetFileDoneFile(QObject* /*sender*/, const std::string& /*fileName*/, int /*fileSize*/) {}
void TMainForm::HTTPGetFileError(QObject* /*sender*/) {}
void TMainForm::SpeedButton2Click() {}
void TMainForm::SpeedButton3Click() {}
