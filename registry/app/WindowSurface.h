#pragma once

#include "common/Bytes.h"
#include "common/Colour.h"
#include "registry/app/ServerList.h"
#include "registry/app/WindowDescription.h"
#include "registry/net/RegistryView.h"

#include <functional>
#include <vector>

namespace registry {

// What the application layer asks of a front end's main window, in terms of the controls of
// the description (WindowDescription.h). The front end renders the description, forwards
// every input to the WindowController and does what this asks; it decides nothing itself.
// Texts are the cores' Windows-1252 bytes, converted where the toolkit takes them.
class WindowSurface
{
public:
    virtual ~WindowSurface() = default;

    // A control's text. A box takes it whole, whatever its typing limit, and raises its change
    // as typing does; a label-button shows a new caption at once.
    virtual void setText(int control, ByteView text) = 0;
    // A box's text, line breaks as CR LF.
    virtual Bytes text(int control) const = 0;
    // A control together with what belongs to it (a label-button's look).
    virtual void setEnabled(int control, bool enabled) = 0;
    virtual void setTextColour(int control, common::Rgb colour) = 0;
    // The check box: 1 ticked, 0 not ticked, 2 greyed; a greyed box is three-state, the others
    // two-state.
    virtual void setCheck(int control, int value) = 0;
    virtual void setFocus(int control) = 0;
    // A panel shown comes on top of the others in the place they share.
    virtual void setPanelShown(Panel panel, bool shown) = 0;
    virtual void setMenuEnabled(MenuItem item, bool enabled) = 0;

    // Lines at the end of the chat log, joined by CR LF, in one insertion; the newest line is
    // scrolled into view. Marked lines are drawn in kMentionColour.
    virtual void appendChat(ByteView lines, bool marked = false) = 0;
    // Whether the chat log's context menu shows "Show Times" ticked.
    virtual void setChatTimesChecked(bool checked) = 0;
    // The server list: a row keyed by the server's index, added at the end when new and
    // refreshed in place when known.
    virtual void setServerRow(int index, const ServerRowText &row) = 0;
    virtual void clearServerRows() = 0;
    // The rows as the player arranged them: the list then holds exactly these, in this order,
    // and the chosen row stays chosen while it is among them.
    virtual void showServerRows(const std::vector<ShownServerRow> &rows) = 0;
    // Chooses the row of `index` (highlighted and scrolled into view) as the program's own
    // doing: no choice is reported back.
    virtual void chooseServerRow(int index) = 0;
    // The column the list is sorted by and which way, shown in its header (none for Arrival).
    virtual void setSortIndicator(ServerColumn column, SortOrder order) = 0;
    virtual void clearUsers() = 0;
    virtual void addUser(ByteView name) = 0;

    // A modal message with an OK button and the program's title; returns when it is closed.
    virtual void showMessage(ByteView text) = 0;
    // The version window: brought forward when open, otherwise created anew.
    virtual void showVersionWindow() = 0;
    // Runs `work` from the event loop once the current event has been handled. False when it
    // could not be queued (the work is dropped then).
    virtual bool post(std::function<void()> work) = 0;
};

} // namespace registry
