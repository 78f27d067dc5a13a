#pragma once

// Asks which propdump version a file without a valid version line has.

#include <QDialog>
#include <QString>

class QButtonGroup;
class QGroupBox;
class QLabel;
class QPushButton;

class TFrmSetVersion : public QDialog {
    Q_OBJECT
public:
    explicit TFrmSetVersion(QWidget* Parent = nullptr);

    void SetFileName(const QString& Text);
    // 2, 3 or 4 for the chosen item; 1 when none is chosen.
    int SelectedVersion() const;

    QLabel* Image1 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QGroupBox* RadioGroup1 = nullptr;
    QButtonGroup* RadioItems = nullptr;
    QPushButton* OkButton = nullptr;
    QPushButton* CancelButton = nullptr;

protected:
    void showEvent(QShowEvent* Event) override;
};
