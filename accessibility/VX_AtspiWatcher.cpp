#include "accessibility/VX_AtspiWatcher.h"

#include <atspi/atspi.h>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// The event that tells of each object's focus, gained (detail1 1) or lost.
constexpr const char *kFocusEvent = "object:state-changed:focused";

bool isSet(const char *name)
{
    const char *value = std::getenv(name);
    return value && *value;
}

// The input types of web fields, as browsers name them, and what each is.
struct InputType {
    const char *name;
    VX_Purpose purpose;
};
constexpr InputType kInputTypes[] = {
    {"email", VX_PURPOSE_EMAIL}, {"url", VX_PURPOSE_URL},       {"tel", VX_PURPOSE_PHONE},
    {"number", VX_PURPOSE_NUMBER}, {"password", VX_PURPOSE_PASSWORD}, {"date", VX_PURPOSE_DATE},
    {"time", VX_PURPOSE_TIME},   {"datetime-local", VX_PURPOSE_DATETIME},
};

}  // namespace

VX_Field VX_AtspiWatcher::fieldOf(int role, bool editable, const std::string &inputType)
{
    VX_Field field;
    if (role == ATSPI_ROLE_TERMINAL) {
        field.focused = true;
        field.purpose = VX_PURPOSE_TERMINAL;
        return field;
    }
    if (!editable && role != ATSPI_ROLE_PASSWORD_TEXT)
        return field;
    field.focused = true;
    if (role == ATSPI_ROLE_PASSWORD_TEXT)
        field.purpose = VX_PURPOSE_PASSWORD;
    else if (role == ATSPI_ROLE_SPIN_BUTTON)
        field.purpose = VX_PURPOSE_NUMBER;
    for (const InputType &type : kInputTypes)
        if (inputType == type.name && field.purpose == VX_PURPOSE_NORMAL)
            field.purpose = type.purpose;
    field.isPrivate = field.purpose == VX_PURPOSE_PASSWORD;
    return field;
}

VX_AtspiWatcher::~VX_AtspiWatcher()
{
    if (listener_) {
        atspi_event_listener_deregister(listener_, kFocusEvent, nullptr);
        g_object_unref(listener_);
    }
    if (initialised_)
        atspi_exit();
}

bool VX_AtspiWatcher::start(std::string &error)
{
    // Without a session bus the library would try to start one (D-Bus
    // autolaunch) and print its own warnings; there is no accessibility
    // bus to find then anyway.
    if (!isSet("AT_SPI_BUS_ADDRESS") && !isSet("DBUS_SESSION_BUS_ADDRESS")) {
        error = "no accessibility bus (AT-SPI): no D-Bus session bus";
        return false;
    }
    if (atspi_init() > 1) {
        error = "no accessibility bus (AT-SPI): it cannot be started";
        return false;
    }
    initialised_ = true;
    if (!atspi_get_a11y_bus()) {
        error = "no accessibility bus (AT-SPI): at-spi-bus-launcher does not run";
        return false;
    }
    listener_ = atspi_event_listener_new(&VX_AtspiWatcher::onEvent, this, nullptr);
    GError *gerror = nullptr;
    if (!atspi_event_listener_register(listener_, kFocusEvent, &gerror)) {
        error = std::string("the accessibility bus (AT-SPI) takes no listener: ") +
                (gerror && gerror->message ? gerror->message : "no reason given");
        if (gerror)
            g_error_free(gerror);
        g_object_unref(listener_);
        listener_ = nullptr;
        return false;
    }
    return true;
}

void VX_AtspiWatcher::pump()
{
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

void VX_AtspiWatcher::onEvent(AtspiEvent *event, void *self)
{
    if (event->source && event->type && std::strcmp(event->type, kFocusEvent) == 0)
        static_cast<VX_AtspiWatcher *>(self)->focusEvent(event->source, event->detail1 != 0);
    g_boxed_free(ATSPI_TYPE_EVENT, event);
}

void VX_AtspiWatcher::focusEvent(AtspiAccessible *source, bool gained)
{
    // Each question is a call to the application: one that went away
    // meanwhile answers with an error, and counts as no field.
    GError *error = nullptr;
    const guint pid = atspi_accessible_get_process_id(source, &error);
    if (error) {
        g_clear_error(&error);
    } else if (pid == static_cast<guint>(getpid())) {
        return;  // the board itself
    }
    const AtspiRole role = atspi_accessible_get_role(source, &error);
    if (error) {
        g_clear_error(&error);
        if (!gained)
            report(VX_Field());
        return;
    }
    bool editable = false;
    if (AtspiStateSet *states = atspi_accessible_get_state_set(source)) {
        editable = atspi_state_set_contains(states, ATSPI_STATE_EDITABLE);
        g_object_unref(states);
    }
    std::string inputType;
    if (editable) {
        if (GHashTable *attributes = atspi_accessible_get_attributes(source, &error)) {
            if (const auto *value = static_cast<const char *>(g_hash_table_lookup(attributes, "text-input-type")))
                inputType = value;
            g_hash_table_unref(attributes);
        }
        g_clear_error(&error);
    }
    const VX_Field field = fieldOf(role, editable, inputType);
    if (gained) {
        report(field);
    } else if (field.focused) {
        // A field let go of the focus; where it went comes next, if
        // anywhere this bus can see.
        report(VX_Field());
    }
}

void VX_AtspiWatcher::report(const VX_Field &field)
{
    if (field == last_)
        return;
    last_ = field;
    if (onField)
        onField(field);
}
