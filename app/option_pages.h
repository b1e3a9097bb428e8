#pragma once
// The three option pages of the tab control. Each keeps its own values and,
// as dialog pages do, copies them from its controls (ReadControls) and back
// (RefreshControls) only when asked.

#include <QString>
#include <QWidget>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace reelmill {

class Desktop;

class OutputPage final : public QWidget {
  Q_OBJECT

 public:
  struct Values {
    QString outputFolder;
    int frameRate = 10;
    bool showOutputFolder = true;
    bool playWhenDone = false;
    QString outputKind = QStringLiteral("Flash(SWF)");
    QString imageFormat = QStringLiteral("BMP");
  };

  OutputPage(Desktop& desktop, QWidget* parent = nullptr);
  void ReadControls();
  void RefreshControls();
  Values& Members() { return values_; }
  const Values& Members() const { return values_; }

 private:
  void KindChosen();
  void FormatChosen();
  void Browse();
  void ShowKindControls();

  Desktop& desktop_;
  Values values_;
  QComboBox* kind_;
  QLabel* formatLabel_;
  QComboBox* format_;
  QLabel* rateLabel_;
  QSpinBox* rate_;
  QLabel* fpsLabel_;
  QLineEdit* folder_;
  QCheckBox* showFolder_;
  QCheckBox* playWhenDone_;
};

class ResizePage final : public QWidget {
  Q_OBJECT

 public:
  struct Values {
    int sizeMode = 0;  // 0 "Original Size", 1 "Custom Size"
    int width = 0;
    int height = 0;
  };

  explicit ResizePage(QWidget* parent = nullptr);
  void ReadControls();
  void RefreshControls();
  Values& Members() { return values_; }

 private:
  void ModeChosen(int mode);
  void PresetChosen();
  void PercentChosen();

  Values values_;
  QRadioButton* original_;
  QRadioButton* custom_;
  QComboBox* preset_;
  QComboBox* percent_;
  QSpinBox* width_;
  QSpinBox* height_;
};

class EffectPage final : public QWidget {
  Q_OBJECT

 public:
  struct Values {
    int quality = 100;
    int index = 0;
  };

  explicit EffectPage(QWidget* parent = nullptr);
  void ReadControls();
  void RefreshControls();
  Values& Members() { return values_; }

 private:
  Values values_;
  QComboBox* quality_;
};

}  // namespace reelmill
