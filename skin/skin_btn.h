// CSkinBtn: an image push button with four state bitmaps (normal, hover, pressed,
// disabled) drawn over a copy of the pixels that lay beneath it when it was first shown.
// Magenta (0xFF00FF) in the bitmaps is transparent. It is a button for the mouse: it takes
// no keyboard focus, so that a key meant for the tree or the send box never presses it.
// User-interface thread only.
//
// Typical use by an owner (a page or the main frame):
//     auto* button = new CSkinBtn;
//     button->Create(QRect(10, 200, 80, 24), page, 1030);
//     button->LoadBitmaps(IDB_NORMAL, IDB_HOVER, IDB_PRESSED, IDB_DISABLED);
//     connect(button, &CSkinBtn::commandClicked, page, &Page::OnCommand);  // id 1030
#pragma once

#include <QAbstractButton>
#include <QBasicTimer>
#include <QPixmap>
#include <QRect>

class CSkinBtn : public QAbstractButton {
    Q_OBJECT

public:
    // Drawing states, also the index of the image shown.
    enum State { kNormal = 0, kHover = 1, kPressed = 2, kDisabled = 3 };

    explicit CSkinBtn(QWidget* parent = nullptr);
    ~CSkinBtn() override;

    // Makes the button a visible child of `parent` at `rect` (parent coordinates) with the
    // command id `id` (kept with SetControlId, so ControlId(button) == id). No text.
    bool Create(const QRect& rect, QWidget* parent, int id);

    // Loads the four state images from bitmap resources (normal, hover, pressed,
    // disabled). A missing resource leaves that image empty: the state then shows only
    // the captured background.
    void LoadBitmaps(int normalId, int hoverId, int pressedId, int disabledId);
    // The same with images supplied directly (tests, generated artwork).
    void LoadBitmaps(const QPixmap& normal, const QPixmap& hover, const QPixmap& pressed,
                     const QPixmap& disabled);

    // The normal image as loaded (magenta still in it); the main frame draws it into its
    // own back buffer.
    const QPixmap& GetNormalImage() const { return m_images[kNormal]; }
    // The button's rectangle in its parent's coordinates (the geometry); without a parent
    // the rectangle in its own window.
    QRect GetRectInParent() const;
    // The command id given to Create (-1 before).
    int GetControlId() const { return m_id; }

    // Inspection, mainly for tests and the owner's drawing.
    State GetState() const { return m_state; }
    bool IsHovering() const { return m_hovering; }
    bool HasCapturedBackground() const { return m_backgroundCaptured; }

    QSize sizeHint() const override;

    // The state that a redraw requested by the system shows: pressed when the button has
    // the focus and is held down, hover when it has the focus and the cursor is over it,
    // disabled when disabled, otherwise normal. Without focus a redraw shows the normal
    // image even while the cursor is over the button. The button counts as having the focus
    // from a mouse press on it until the cursor leaves it or the focus moves elsewhere (as
    // a clicked button would hold the keyboard focus).
    static State StateForDrawRequest(bool hasFocus, bool isDown, bool hovering, bool disabled);

signals:
    // Emitted with the command id after clicked(); the owner's command handler.
    void commandClicked(int id);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void CaptureBackgroundOnce();
    // Recomputes the state as a system redraw does, then repaints.
    void RedrawOnRequest();
    // Repaints with the current state (hover start and end).
    void RedrawWithCurrentState();
    bool CursorIsOverButton() const;
    // Whether a redraw request carries the focus flag (see StateForDrawRequest).
    bool HasDrawFocus() const { return hasFocus() || m_clickFocus; }
    void OnApplicationFocusChanged();

    QPixmap m_images[4];       // as loaded; shown through their magenta-keyed copies
    QPixmap m_keyedImages[4];  // magenta turned transparent
    State m_state = kNormal;
    bool m_hovering = false;
    bool m_enabled = true;
    bool m_backgroundCaptured = false;
    QPixmap m_background;            // what lay beneath the button at its first showing
    QBasicTimer m_hoverTimer;        // 10 ms: ends hovering once the cursor has left
    bool m_stateSetByHover = false;  // next paint keeps the hover-chosen state
    bool m_clickFocus = false;       // pressed by the mouse, and not left since
    int m_id = -1;
};
