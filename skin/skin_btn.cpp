#include "skin/skin_btn.h"

#include <QApplication>
#include <QCursor>
#include <QEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimerEvent>

#include "platform/dialog_template.h"
#include "platform/resources.h"
#include "skin/background_capture.h"
#include "skin/magenta_key.h"

namespace {
constexpr int kHoverPollMs = 10;
}

CSkinBtn::CSkinBtn(QWidget* parent) : QAbstractButton(parent) {
    // Every pixel is painted from the captured background, so Qt need not clear first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    // Like a Win32 child control, the button keeps its mouse input: the owner (the main
    // frame moves and sizes itself by the mouse) must not take hover moves or clicks on the
    // button for its own.
    setAttribute(Qt::WA_NoMousePropagation);
    // Clicked with the mouse only: the keyboard stays where the user was typing.
    setFocusPolicy(Qt::NoFocus);
    connect(qApp, &QApplication::focusChanged, this, &CSkinBtn::OnApplicationFocusChanged);
    connect(this, &QAbstractButton::clicked, this, [this] { emit commandClicked(m_id); });
}

CSkinBtn::~CSkinBtn() = default;

bool CSkinBtn::Create(const QRect& rect, QWidget* parent, int id) {
    if (parent != nullptr && parent != parentWidget()) {
        setParent(parent);
    }
    m_id = id;
    SetControlId(this, id);
    setText(QString());
    setGeometry(rect);
    show();
    return true;
}

void CSkinBtn::LoadBitmaps(int normalId, int hoverId, int pressedId, int disabledId) {
    LoadBitmaps(LoadBitmapResource(normalId), LoadBitmapResource(hoverId),
                LoadBitmapResource(pressedId), LoadBitmapResource(disabledId));
}

void CSkinBtn::LoadBitmaps(const QPixmap& normal, const QPixmap& hover, const QPixmap& pressed,
                           const QPixmap& disabled) {
    const QPixmap* images[4] = {&normal, &hover, &pressed, &disabled};
    for (int i = 0; i < 4; ++i) {
        m_images[i] = *images[i];
        m_keyedImages[i] = MagentaKeyed(*images[i]);
    }
    updateGeometry();
    update();
}

QRect CSkinBtn::GetRectInParent() const {
    // The geometry is already relative to the parent; a top-level button is at its origin.
    return parentWidget() != nullptr ? geometry() : QRect(QPoint(0, 0), size());
}

QSize CSkinBtn::sizeHint() const {
    return m_images[kNormal].isNull() ? QSize(0, 0)
                                      : m_images[kNormal].deviceIndependentSize().toSize();
}

CSkinBtn::State CSkinBtn::StateForDrawRequest(bool hasFocus, bool isDown, bool hovering,
                                              bool disabled) {
    State state = kNormal;
    if (hasFocus) {
        state = isDown ? kPressed : (hovering ? kHover : kNormal);
    }
    if (disabled) {
        state = kDisabled;
    }
    return state;
}

// UI thread. A draw request recomputes the state from focus, press and enable state (the
// events below stand for the system's redraw requests); hover start and end set the state
// themselves and only repaint.
void CSkinBtn::RedrawOnRequest() {
    m_state = StateForDrawRequest(HasDrawFocus(), isDown(), m_hovering, !isEnabled());
    if (m_state == kDisabled) {
        m_enabled = false;
    }
    update();
}

void CSkinBtn::RedrawWithCurrentState() {
    update();
}

void CSkinBtn::paintEvent(QPaintEvent* /*event*/) {
    CaptureBackgroundOnce();
    // Qt paints into the window's back buffer and flushes it once: no flicker.
    QPainter painter(this);
    painter.drawPixmap(0, 0, m_background);
    const QPixmap& image = m_keyedImages[m_state];
    if (!image.isNull()) {
        painter.drawPixmap(0, 0, image);
    }
}

bool CSkinBtn::CursorIsOverButton() const {
    return rect().contains(mapFromGlobal(QCursor::pos()));
}

void CSkinBtn::mouseMoveEvent(QMouseEvent* event) {
    if (!m_hovering && m_enabled) {
        m_hovering = true;
        m_state = kHover;
        m_hoverTimer.start(kHoverPollMs, this);
        if (CursorIsOverButton()) {
            RedrawWithCurrentState();
        } else {
            return;  // the timer ends the hover at once
        }
    }
    // Dragging a pressed button off and on again toggles its down state: redraw for it.
    const bool wasDown = isDown();
    QAbstractButton::mouseMoveEvent(event);
    if (wasDown != isDown()) {
        RedrawOnRequest();
    }
}

void CSkinBtn::timerEvent(QTimerEvent* event) {
    if (event->timerId() != m_hoverTimer.timerId()) {
        QAbstractButton::timerEvent(event);
        return;
    }
    if (!CursorIsOverButton() && m_hovering && m_enabled) {
        m_hoverTimer.stop();
        m_hovering = false;
        m_clickFocus = false;
        m_state = kNormal;
        RedrawWithCurrentState();
    }
}

void CSkinBtn::mousePressEvent(QMouseEvent* event) {
    QAbstractButton::mousePressEvent(event);  // sets the button down
    if (event->button() == Qt::LeftButton && isEnabled()) {
        m_clickFocus = true;
    }
    RedrawOnRequest();
}

// Another widget took the keyboard, or lost it: a clicked button would have lost the focus.
void CSkinBtn::OnApplicationFocusChanged() {
    if (m_clickFocus) {
        m_clickFocus = false;
        RedrawOnRequest();
    }
}

void CSkinBtn::mouseReleaseEvent(QMouseEvent* event) {
    // The base class emits clicked(); the owner's handler may even delete the button.
    QPointer<CSkinBtn> self(this);
    QAbstractButton::mouseReleaseEvent(event);
    if (self) {
        RedrawOnRequest();
    }
}

void CSkinBtn::focusInEvent(QFocusEvent* event) {
    QAbstractButton::focusInEvent(event);
    RedrawOnRequest();
}

void CSkinBtn::focusOutEvent(QFocusEvent* event) {
    QAbstractButton::focusOutEvent(event);
    RedrawOnRequest();
}

void CSkinBtn::changeEvent(QEvent* event) {
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange) {
        m_enabled = isEnabled();
        if (!m_enabled) {
            // A disabled button gets no mouse input, so nothing could end the hover later.
            m_hoverTimer.stop();
            m_hovering = false;
        }
        RedrawOnRequest();
    }
}

void CSkinBtn::showEvent(QShowEvent* event) {
    QAbstractButton::showEvent(event);
    CaptureBackgroundOnce();
    RedrawOnRequest();
}

void CSkinBtn::CaptureBackgroundOnce() {
    if (m_backgroundCaptured) {
        return;
    }
    m_background = CaptureParentBackground(this);
    m_backgroundCaptured = true;
}
