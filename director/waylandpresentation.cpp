#include "waylandpresentation.h"

#include "presentation-time-client-protocol.h"

#include <QGuiApplication>
#include <qpa/qplatformnativeinterface.h>
#include <cstring>
#include <utility>
#include <wayland-client.h>

namespace {

qint64 nanoseconds(clockid_t clock)
{
    timespec now;
    clock_gettime(clock, &now);
    return now.tv_sec * 1000000000LL + now.tv_nsec;
}

QPlatformNativeInterface *nativeInterface()
{
    return QGuiApplication::platformNativeInterface();
}

} // namespace

const wl_registry_listener WaylandPresentation::registryListener = {
    [](void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t) {
        auto *self = static_cast<WaylandPresentation *>(data);
        if (std::strcmp(interface, wp_presentation_interface.name) != 0 || self->presentation)
            return;
        self->presentation = static_cast<wp_presentation *>(
            wl_registry_bind(registry, name, &wp_presentation_interface, 1));
        wp_presentation_add_listener(self->presentation, &presentationListener, self);
    },
    [](void *, wl_registry *, uint32_t) {},
};

const wp_presentation_listener WaylandPresentation::presentationListener = {
    [](void *data, wp_presentation *, uint32_t clockId) {
        static_cast<WaylandPresentation *>(data)->clock = clockid_t(clockId);
    },
};

const wp_presentation_feedback_listener WaylandPresentation::feedbackListener = {
    [](void *, struct wp_presentation_feedback *, wl_output *) {},
    [](void *data, struct wp_presentation_feedback *feedback, uint32_t secondsHigh, uint32_t secondsLow,
       uint32_t nanoseconds, uint32_t refresh, uint32_t counterHigh, uint32_t counterLow, uint32_t flags) {
        auto *self = static_cast<WaylandPresentation *>(data);
        const qint64 seconds = qint64((quint64(secondsHigh) << 32) | secondsLow);
        const qint64 counter = qint64((quint64(counterHigh) << 32) | counterLow);
        // A compositor that counts no refreshes sends 0 each time.
        self->counterSeen = self->counterSeen || counter != 0;
        PresentFeedback result;
        result.litNs = self->toMonotonic(seconds * 1000000000LL + nanoseconds);
        result.counter = self->counterSeen ? counter : -1;
        result.reportedPeriodNs = refresh;
        result.onBeat = flags & WP_PRESENTATION_FEEDBACK_KIND_VSYNC;
        self->deliver(feedback, result);
    },
    [](void *data, struct wp_presentation_feedback *feedback) {
        PresentFeedback result;
        result.discarded = true;
        static_cast<WaylandPresentation *>(data)->deliver(feedback, result);
    },
};

std::unique_ptr<WaylandPresentation> WaylandPresentation::open(QWindow *window, QString *why)
{
    if (!QGuiApplication::platformName().startsWith(QLatin1String("wayland"))) {
        *why = QStringLiteral("the display is not Wayland");
        return nullptr;
    }
    auto *display = static_cast<wl_display *>(nativeInterface()->nativeResourceForIntegration("wl_display"));
    if (!display) {
        *why = QStringLiteral("Qt gives no Wayland display");
        return nullptr;
    }
    std::unique_ptr<WaylandPresentation> self(new WaylandPresentation);
    self->window = window;
    self->display = display;
    self->queue = wl_display_create_queue(display);
    self->displayOnQueue = static_cast<wl_display *>(wl_proxy_create_wrapper(display));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy *>(self->displayOnQueue), self->queue);
    self->registry = wl_display_get_registry(self->displayOnQueue);
    wl_registry_add_listener(self->registry, &registryListener, self.get());
    // The globals, then the presentation clock sent on binding.
    if (wl_display_roundtrip_queue(display, self->queue) < 0 || !self->presentation
        || wl_display_roundtrip_queue(display, self->queue) < 0) {
        *why = self->presentation ? QStringLiteral("the Wayland connection failed")
                                  : QStringLiteral("the compositor offers no wp_presentation");
        return nullptr;
    }
    return self;
}

WaylandPresentation::~WaylandPresentation()
{
    for (const auto &waiting : serials)
        wp_presentation_feedback_destroy(waiting.first);
    if (presentation)
        wp_presentation_destroy(presentation);
    if (registry)
        wl_registry_destroy(registry);
    if (displayOnQueue)
        wl_proxy_wrapper_destroy(displayOnQueue);
    if (queue)
        wl_event_queue_destroy(queue);
}

void WaylandPresentation::requestFeedback(qint64 serial)
{
    auto *surface = window ? static_cast<wl_surface *>(nativeInterface()->nativeResourceForWindow("surface", window))
                           : nullptr;
    if (!surface) {
        // Nothing can be committed: the frame will never be lit.
        PresentFeedback result;
        result.serial = serial;
        result.discarded = true;
        unsurfaced.push_back(result);
        return;
    }
    // Made from our proxy, the feedback's events land on our queue.
    struct wp_presentation_feedback *feedback = wp_presentation_feedback(presentation, surface);
    wp_presentation_feedback_add_listener(feedback, &feedbackListener, this);
    serials[feedback] = serial;
}

void WaylandPresentation::dispatch()
{
    for (const PresentFeedback &result : std::exchange(unsurfaced, {}))
        if (onFeedback)
            onFeedback(result);
    wl_display_dispatch_queue_pending(display, queue);
}

void WaylandPresentation::deliver(struct wp_presentation_feedback *feedback, PresentFeedback result)
{
    const auto waiting = serials.find(feedback);
    result.serial = waiting->second;
    serials.erase(waiting);
    wp_presentation_feedback_destroy(feedback);
    if (onFeedback)
        onFeedback(result);
}

// Weston without a display keeps CLOCK_MONOTONIC_RAW, which drifts from
// CLOCK_MONOTONIC as the latter is slewed: the offset is taken when a time is
// read, from the pair of readings least apart.
qint64 WaylandPresentation::toMonotonic(qint64 compositorNs) const
{
    if (clock == CLOCK_MONOTONIC)
        return compositorNs;
    qint64 bestSpan = -1, offset = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        const qint64 before = nanoseconds(CLOCK_MONOTONIC);
        const qint64 other = nanoseconds(clock);
        const qint64 after = nanoseconds(CLOCK_MONOTONIC);
        if (bestSpan < 0 || after - before < bestSpan) {
            bestSpan = after - before;
            offset = before + (after - before) / 2 - other;
        }
    }
    return compositorNs + offset;
}
