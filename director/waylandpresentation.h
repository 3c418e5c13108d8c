// What a Wayland compositor says of each frame the window commits: when it was
// lit (wp_presentation feedback), on CLOCK_MONOTONIC. Qt's Wayland platform
// paces paints by frame callbacks alone and drops their times, so the feedback
// is asked for here, on an event queue of our own that Qt never dispatches.
#pragma once

#include "presentfeedback.h"

#include <QPointer>
#include <QString>
#include <QWindow>
#include <ctime>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

struct wl_display;
struct wl_event_queue;
struct wl_registry;
struct wp_presentation;
struct wp_presentation_feedback;

class WaylandPresentation {
public:
    // Null, with the reason in *why, where the platform is not Wayland or the
    // compositor has no wp_presentation.
    static std::unique_ptr<WaylandPresentation> open(QWindow *window, QString *why);
    // Before the QGuiApplication goes: it closes the display this was made on.
    ~WaylandPresentation();
    // Asks for feedback on the window surface's next commit: call just before
    // QBackingStore::flush, on the GUI thread.
    void requestFeedback(qint64 serial);
    // Hands onFeedback what has arrived (presented or discarded) without
    // reading the display: Qt's event threads read it and queue our events.
    // Cheap; on the GUI thread.
    void dispatch();
    std::function<void(const PresentFeedback &)> onFeedback;

private:
    WaylandPresentation() = default;
    static const struct wl_registry_listener registryListener;
    static const struct wp_presentation_listener presentationListener;
    static const struct wp_presentation_feedback_listener feedbackListener;
    qint64 toMonotonic(qint64 compositorNs) const;
    void deliver(wp_presentation_feedback *feedback, PresentFeedback result);

    QPointer<QWindow> window;
    wl_display *display = nullptr;
    wl_event_queue *queue = nullptr;
    wl_display *displayOnQueue = nullptr;  // a wrapper: what it makes lands on our queue
    wl_registry *registry = nullptr;
    wp_presentation *presentation = nullptr;
    clockid_t clock = CLOCK_MONOTONIC;  // the compositor's presentation clock
    bool counterSeen = false;  // the compositor gave a refresh count other than 0
    std::unordered_map<wp_presentation_feedback *, qint64> serials;  // awaiting an answer
    std::vector<PresentFeedback> unsurfaced;  // asked while the window had no surface
};
