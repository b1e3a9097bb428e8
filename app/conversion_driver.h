#pragma once
// "Convert", "Convert All" and the exports. AVI and SWF are recorded in real
// time through the preview's frame recorder, then written by the engine;
// timer 1 follows the pass and ends it, timer 2 starts the next row of
// Convert All. Files that fail are collected and shown when the command ends.

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

#include "imaging/problem.h"

namespace reelmill {

class Desktop;
class MainWindow;
class Ticker;
class TimeSource;

class ConversionDriver final : public QObject {
  Q_OBJECT

 public:
  ConversionDriver(MainWindow& window, Desktop& desktop, TimeSource& time);
  ~ConversionDriver() override;

  void Convert();
  void ConvertAll();
  // The six sequence items of the context menu.
  void ExportSequence(const QString& extension);
  void ExportSingleImage();

  void Timer1Tick();
  void Timer2Tick();
  // Ends whatever runs, writing nothing more (the window is closing).
  void Stop();

  bool Converting() const { return converting_; }
  bool ConvertAllRunning() const { return convertAllRunning_; }
  int ListPosition() const { return listPosition_; }
  Ticker& Timer2() { return *timer2_; }
  // "file: reason" of each file that failed in the command under way, and of
  // each damaged file whose frames before the damage were converted.
  const QStringList& Failures() const { return failures_; }
  const QStringList& Damaged() const { return damaged_; }

 private:
  void UpdateProgress();
  void DeclareOutputSize();
  // False (and the file reported) when the current file yields no frames.
  bool HasFrames();
  // False (and the file reported) when converting it would delete it.
  bool InputIsSafe();
  void FinishFile(bool recorded);
  void WriteOutput();
  void RunSequenceExport(const QString& path, const QString& extension, const QString& folder);
  void ReportFailures();
  void OpenWorkFolder();

  MainWindow& window_;
  Desktop& desktop_;
  TimeSource& time_;
  std::unique_ptr<Ticker> timer2_;
  bool converting_ = false;
  bool convertAllRunning_ = false;
  int listPosition_ = 0;
  void ClearReports();
  void AddFailure(const QString& path, const Problem& problem);

  QStringList failures_;
  QStringList damaged_;
};

}  // namespace reelmill
