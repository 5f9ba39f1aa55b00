#pragma once

// The add-in as its message-window trackers see it. A tracker remembers
// which add-in made it (none for the windows already open at connection) and
// asks nothing of it: what it works on is the shared state, so it needs no
// view of the add-in object itself.
class ITrackerOwner {
protected:
    ~ITrackerOwner() = default;
};
