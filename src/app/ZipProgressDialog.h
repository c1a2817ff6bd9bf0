#pragma once
// The zip component's progress window: which member is being unpacked, with a Cancel button, drawn from the
// component's reports.
#include <QDialog>
#include <memory>

#include "net/ZipProgress.h"

class QLabel;
class QProgressBar;
class QPushButton;
class ZipExtractor;

// Small window that shows which member is being unpacked, with a Cancel button.
class ZipProgressDialog : public QDialog {
  Q_OBJECT
 public:
  ZipProgressDialog(ZipExtractor* zip, QWidget* mainWindow);

  QLabel* fileNameLabel = nullptr;
  QProgressBar* progressBar = nullptr;
  QPushButton* cancelButton = nullptr;

  // Shows the text centred in the window.
  void showFileName(const QString& text);
  // Escape works as the Cancel button.
  void reject() override;

 private:
  void cancelExtraction();
  ZipExtractor* zip_;
};

// Shows the progress window of `zip` for each of its extractions: made when one begins, gone when it ends.
class ZipProgressWindow : public ZipProgressView {
 public:
  // Both must outlive this object; `mainWindow` (may be null) is the window the progress window centres on.
  ZipProgressWindow(ZipExtractor& zip, QWidget* mainWindow);
  ~ZipProgressWindow() override;
  ZipProgressWindow(const ZipProgressWindow&) = delete;
  ZipProgressWindow& operator=(const ZipProgressWindow&) = delete;

  // The progress window; exists only while an extraction runs.
  ZipProgressDialog* dialog() const { return dialog_.get(); }

  void extractionStarted() override;
  void extractionEnded() override;
  void batchSize(std::int32_t totalBytes) override;
  void bytesDone(std::int64_t bytesDone) override;
  void memberBegins(const QString& name) override;
  void batchEnded() override;
  void questionAsked() override;
  void questionAnswered() override;

 private:
  ZipExtractor& zip_;
  QWidget* mainWindow_;
  std::unique_ptr<ZipProgressDialog> dialog_;
};
