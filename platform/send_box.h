// CSendBox: the editable multi-line box a page's text to send is typed or pasted into.
//
// Pasting goes through the box itself, never through Qt's own insertion: the Qt 6.4 that
// Debian 12 ships crashes in that insertion when the clipboard (or the X11 selection) holds
// nothing, which is the case after a fresh start. So Ctrl+V, Shift+Insert, the context menu's
// paste item, the middle-button selection paste and a drop all insert the data's text only,
// and data without text inserts nothing.
//
// Qt lays out a paragraph as a whole, and a line without break points in time quadratic in
// its length. So a pasted line is cut into paragraphs of at most kPiece characters joined by
// soft breaks: each paragraph after a soft break is marked as a continuation and its break is
// no part of the text (Text(), copying and dragging join them again; Backspace and Delete at
// a soft break remove the character beyond it). Only the paragraphs on screen are laid out.
// A paragraph longer than kLongLine (made by typing or joining) is wrapped anywhere.
// Code that reads the box's text reads Text() (or TextOf), never toPlainText().
// User-interface thread only.
#pragma once

#include <QPlainTextEdit>
#include <functional>
#include <vector>

class QMenu;
class QMimeData;
class QTextBlock;

class CSendBox : public QPlainTextEdit {
    Q_OBJECT

public:
    // Lines up to this length keep wrapping at word boundaries.
    static constexpr int kLongLine = 1024;
    // The longest paragraph a paste makes.
    static constexpr int kPiece = 4096;

    explicit CSendBox(QWidget* parent = nullptr);

    // The box's text as the user sees it: soft breaks joined, line breaks as "\n".
    QString Text() const { return TextOf(this); }
    // The same for any plain text box (a box that is not a CSendBox has no soft breaks).
    static QString TextOf(const QPlainTextEdit* box);

    // Commands of a page or a tool for the box's context menu: each filler adds its items
    // after the edit items (and a separator) every time the menu opens.
    using MenuFiller = std::function<void(QMenu& menu)>;
    void AddMenuFiller(MenuFiller fill);

protected:
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void InsertPieces(const QString& text);
    bool EditAtSoftBreak(QKeyEvent* event);
    void OnContentsChange(int position, int removed, int added);
    void SetWrapAnywhere(bool anywhere);

    bool wrapAnywhere_ = false;
    std::vector<MenuFiller> menuFillers_;
};
