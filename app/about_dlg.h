// CAbout: the about dialog. Shown from the menu and, before the program ends, by the close
// button and the exit command. User-interface thread only.
#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>

class CAbout : public QDialog {
    Q_OBJECT

public:
    static constexpr int kTemplateId = 100;
    static constexpr int kFirstImageId = 290;
    static constexpr int kSecondImageId = 289;

    explicit CAbout(QWidget* parent = nullptr);
    ~CAbout() override;

    const QPixmap& FirstImage() const { return firstImage_; }
    const QPixmap& SecondImage() const { return secondImage_; }
    static QString Title();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap firstImage_;
    QPixmap secondImage_;
};
