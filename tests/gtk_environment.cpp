// Starts GTK once for the widget tests of a test program that links it in.
#include <gtest/gtest.h>
#include <gtkmm/application.h>

namespace {

class GtkEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        app = Gtk::Application::create("", Gio::APPLICATION_NON_UNIQUE);
        app->register_application(); // its start-up initialises GTK
    }
    Glib::RefPtr<Gtk::Application> app;
};

const auto* environment = testing::AddGlobalTestEnvironment(new GtkEnvironment);

} // namespace
