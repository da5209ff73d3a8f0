// FindBar: the find bar under a log view (Ctrl+F in the view, or "查找…" in its menu): a
// field, "十六进制" (the field holds bytes as hex pairs instead of text), 上一个 / 下一个, and
// "N 处" once every hit is counted. It searches the whole log of the shown entry, what is
// on disk included, on a thread of its own (net/log_search.h); text is looked for as the
// bytes it makes in the encoding in force. Each hit is shown in the view, selected, amid
// the lines around it; the view holds that stretch (new lines wait) until the bar is
// closed, and then shows the log's end again.
//
// User-interface thread only; the log's snapshot is taken under g_connectLock.
#pragma once

#include <QWidget>
#include <memory>
#include <thread>

#include "net/log_search.h"
#include "pages/views/entry_views.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QTimer;
class QToolButton;

class FindBar : public QWidget {
    Q_OBJECT

public:
    // Gives both views of `views` a find bar (and Ctrl+F and "查找…"); owned by the views.
    static void Install(EntryViews& views);

    FindBar(EntryViews& views, EntryViews::View view);
    ~FindBar() override;

    // Shows the bar and puts the caret in its field.
    void Open();
    // Hides it; the view shows its log's end again.
    void Close();
    // The next or previous hit (a new search first when the field, the switch or the shown
    // log changed).
    void FindNext() { Step(+1); }
    void FindPrevious() { Step(-1); }

    QLineEdit* Field() const { return field_; }
    QCheckBox* HexSwitch() const { return hex_; }
    QLabel* CountLabel() const { return count_; }
    // The bar of `view`'s widget, if it has one.
    static FindBar* Of(QWidget* viewWidget);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Place();
    void Step(int direction);
    // Starts a search for the field's content; false (the user told why) if it is not one.
    bool StartSearch();
    void StopSearch();
    void Poll();
    void ShowHit(const LogSearch::Hit& hit);

    EntryViews& views_;
    EntryViews::View view_;
    QLineEdit* field_;
    QCheckBox* hex_;
    QToolButton* previous_;
    QToolButton* next_;
    QLabel* count_;
    QTimer* poll_;

    std::shared_ptr<LogSearch> search_;
    std::thread worker_;
    const void* searchedRecord_ = nullptr;
    std::uint64_t searchedGeneration_ = 0;
    bool searchedHex_ = false;
    QString searchedText_;
    // The hit shown (index into the kept hits), or -1; a step asked before the hits came.
    long long current_ = -1;
    int pendingStep_ = 0;
};
