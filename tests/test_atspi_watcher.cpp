// What a focused accessible object is as a field: the roles and input
// types the accessibility bus gives, as the X11 panel reads them.
#include <gtest/gtest.h>

#include <atspi/atspi.h>

#include "accessibility/VX_AtspiWatcher.h"

namespace {

TEST(AtspiWatcher, RolesStatesAndInputTypesGiveTheField)
{
    struct Case {
        int role;
        bool editable;
        const char *inputType;
        bool focused;
        const char *purpose;
        bool isPrivate;
    };
    const Case cases[] = {
        {ATSPI_ROLE_ENTRY, true, "", true, "normal", false},
        {ATSPI_ROLE_TEXT, true, "", true, "normal", false},
        {ATSPI_ROLE_PARAGRAPH, true, "", true, "normal", false},
        {ATSPI_ROLE_DOCUMENT_TEXT, true, "", true, "normal", false},
        // Read-only text, buttons and labels take no text.
        {ATSPI_ROLE_ENTRY, false, "", false, "normal", false},
        {ATSPI_ROLE_TEXT, false, "email", false, "normal", false},
        {ATSPI_ROLE_PUSH_BUTTON, false, "", false, "normal", false},
        {ATSPI_ROLE_LABEL, false, "", false, "normal", false},
        {ATSPI_ROLE_FRAME, false, "", false, "normal", false},
        // A password entry, also one that does not say it is editable.
        {ATSPI_ROLE_PASSWORD_TEXT, true, "", true, "password", true},
        {ATSPI_ROLE_PASSWORD_TEXT, false, "", true, "password", true},
        // A terminal takes keys whether or not it says editable.
        {ATSPI_ROLE_TERMINAL, false, "", true, "terminal", false},
        {ATSPI_ROLE_TERMINAL, true, "", true, "terminal", false},
        {ATSPI_ROLE_SPIN_BUTTON, true, "", true, "number", false},
        {ATSPI_ROLE_SPIN_BUTTON, false, "", false, "normal", false},
        // Web fields by their input type.
        {ATSPI_ROLE_ENTRY, true, "email", true, "email", false},
        {ATSPI_ROLE_ENTRY, true, "url", true, "url", false},
        {ATSPI_ROLE_ENTRY, true, "tel", true, "phone", false},
        {ATSPI_ROLE_ENTRY, true, "number", true, "number", false},
        {ATSPI_ROLE_ENTRY, true, "password", true, "password", true},
        {ATSPI_ROLE_ENTRY, true, "date", true, "date", false},
        {ATSPI_ROLE_ENTRY, true, "time", true, "time", false},
        {ATSPI_ROLE_ENTRY, true, "datetime-local", true, "datetime", false},
        {ATSPI_ROLE_ENTRY, true, "search", true, "normal", false},
        {ATSPI_ROLE_ENTRY, true, "Email", true, "normal", false},
        // The role says more than an input type.
        {ATSPI_ROLE_PASSWORD_TEXT, true, "email", true, "password", true},
        {ATSPI_ROLE_SPIN_BUTTON, true, "tel", true, "number", false},
    };
    for (const Case &c : cases) {
        const VX_Field field = VX_AtspiWatcher::fieldOf(c.role, c.editable, c.inputType);
        const std::string what = "role " + std::to_string(c.role) + (c.editable ? " editable" : "") +
                                 " input type '" + c.inputType + "'";
        EXPECT_EQ(field.focused, c.focused) << what;
        EXPECT_STREQ(vxPurposeName(field.purpose), c.purpose) << what;
        EXPECT_EQ(field.isPrivate, c.isPrivate) << what;
    }
}

TEST(AtspiWatcher, WithoutASessionBusItSaysSoAndFollowsNothing)
{
    const char *keep = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string saved = keep ? keep : "";
    unsetenv("DBUS_SESSION_BUS_ADDRESS");
    unsetenv("AT_SPI_BUS_ADDRESS");
    {
        VX_AtspiWatcher watcher;
        std::string error;
        EXPECT_FALSE(watcher.start(error));
        EXPECT_EQ(error, "no accessibility bus (AT-SPI): no D-Bus session bus");
    }
    if (keep)
        setenv("DBUS_SESSION_BUS_ADDRESS", saved.c_str(), 1);
}

}  // namespace
