#pragma once
// "Convert", "Convert All" and the exports. Each output is made on a thread
// of its own by the engine, as reelmill-convert makes it. For an AVI or SWF
// (real timing: output frame k shows what the GIF shows at k / fps) the
// preview plays the file once in real time meanwhile; an MP4, WebM or WebP
// is made at full speed. Timer 1 follows the work and ends the file once it
// is done, timer 2 starts the next row of Convert All. Files that fail or are damaged are collected and shown when the
// command ends.

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

#include "imaging/problem.h"

namespace reelmill {

class BackgroundConversion;
class Desktop;
class MainWindow;
class Ticker;
class TimeSource;

class ConversionDriver final : public QObject {
  Q_OBJECT

 public:
  // What the window may do follows from this alone: while anything but Idle,
  // the list and its file stay as they are.
  enum class State { Idle, ConvertingOne, ConvertingAll, Exporting };

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

  State CurrentState() const { return state_; }
  bool Converting() const { return state_ == State::ConvertingOne || state_ == State::ConvertingAll; }
  bool ConvertAllRunning() const { return state_ == State::ConvertingAll; }
  // The file's output is still being made on its thread.
  bool OutputPending() const;
  int ListPosition() const { return listPosition_; }
  Ticker& Timer2() { return *timer2_; }
  // "file: reason" of each file that failed in the command under way, and of
  // each damaged file whose frames before the damage were converted.
  const QStringList& Failures() const { return failures_; }
  const QStringList& Damaged() const { return damaged_; }

 signals:
  void StateChanged(State state);

 private:
  void SetState(State state);
  void UpdateProgress();
  // Starts the current file: its conversion in the background and its pass
  // in the preview.
  void StartFile();
  // The output kind is made at full speed, without a pass (MP4, WebM, WebP).
  bool Encoding() const;
  void FinishFile();
  void TakeOutcome();
  void RunSequenceExport(const std::string& path, const std::string& extension, const std::string& folder);
  void ReportFailures();
  void OpenWorkFolder();
  void ClearReports();
  void AddFailure(const std::string& path, const Problem& problem);
  void AddDamage(const std::string& path, const std::string& text);

  MainWindow& window_;
  Desktop& desktop_;
  TimeSource& time_;
  std::unique_ptr<Ticker> timer2_;
  std::unique_ptr<BackgroundConversion> conversion_;
  State state_ = State::Idle;
  int listPosition_ = 0;
  bool wroteAny_ = false;  // some output of the batch was written
  QStringList failures_;
  QStringList damaged_;
};

}  // namespace reelmill
