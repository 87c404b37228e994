// "tarnwick -d engine.dbc -s Can.Engine.rpm", then the live-connection dialog filled and
// connected to a stream listener in this process: the frames are plotted as with -n, the
// reload command restarts the connection while data arrive, a reload otherwise ends it,
// and a refused connection gives the dialog back.
#include "core/message_log.h"
#include "core/signal.h"
#include "engine_blocks.h"
#include "loopback.h"
#include "pixel_count.h"
#include "store/store.h"
#include "store/stream_listener.h"
#include "test_helpers.h"
#include "views/dialog_runner.h"
#include "views/time_box.h"
#include "window/window.h"
#include "window_run.h"

#include <glibmm/fileutils.h>
#include <glibmm/miscutils.h>
#include <gtest/gtest.h>
#include <gtkmm/messagedialog.h>

#include <string>
#include <vector>

namespace vistra {
namespace {

using test::engineBlocks;
using test::pixelsOfColour;
using test::pumpUntil;

TEST(LiveDialogWindow, ConnectsStreamsRestartsAndDisconnects)
{
    Store& store = Store::instance();
    test::LoopbackServer logger;
    const std::string dbc = test::engineDbcInHome();
    std::vector<std::string> messages;
    setDialogRunner([&](Gtk::Dialog& dialog) {
        if (auto* message = dynamic_cast<Gtk::MessageDialog*>(&dialog))
            messages.push_back(message->property_secondary_text().get_value().raw());
        return 0;
    });

    const int result = test::runInWindow({"-d", dbc, "-s", "Can.Engine.rpm"}, [&](Window& window) {
        ConnectLiveDialog& dialog = window.connectLiveDialog;
        const auto finish = [&] {
            dialog.hide();
            return 0;
        };

        window.openLiveDialog();
        EXPECT_TRUE(dialog.get_visible());
        dialog.nameEntry.set_text("Bench");
        dialog.addressEntry.set_text("127.0.0.1:" + std::to_string(logger.port()));
        dialog.connectButton.clicked();

        sockaddr_in peer{};
        const int fd = logger.accept(20000, &peer);
        if (fd < 0) {
            ADD_FAILURE() << "the dialog's connection did not reach the logger";
            return finish();
        }
        StreamListener* first = StreamListener::start(peer, fd, nullptr);
        const std::vector<u8> blocks = engineBlocks(3000);
        EXPECT_EQ(StreamListener::pushData(first, blocks.data(), int(blocks.size())), 0);
        EXPECT_TRUE(pumpUntil([&] { return !dialog.connecting; }, 10000));
        EXPECT_FALSE(dialog.get_visible());
        EXPECT_EQ(window.get_title(), "Bench");
        EXPECT_TRUE(store.live);

        auto signal = store.findSignal("Can.Engine.rpm");
        const Gdk::RGBA colour(signal->colour);
        const auto received = [&] {
            std::lock_guard lock(*signal->samplesMutex);
            return signal->samples.size() > 0;
        };
        EXPECT_TRUE(pumpUntil(received, 10000)) << "the frames did not arrive";
        EXPECT_TRUE(pumpUntil([&] { return pixelsOfColour(window.fullPlot, colour, nullptr) > 20; }, 20000))
            << "the overview shows no pixel of the signal's colour";
        timeBox().setInterval(store.viewStart, store.viewStart + 60000, true);
        EXPECT_TRUE(pumpUntil([&] { return pixelsOfColour(window.plot, colour, nullptr) > 100; }, 15000))
            << "the detail plot shows no pixel of the signal's colour";

        // The reload command while data arrive: the old connection ends, a new one is made.
        window.liveTick.receiving = true;
        window.onReloadActivated();
        EXPECT_TRUE(test::peerClosed(fd, 5000));
        const int fd2 = logger.accept(10000, &peer);
        EXPECT_GE(fd2, 0) << "no new connection after the restart";
        StreamListener* second = fd2 >= 0 ? StreamListener::start(peer, fd2, nullptr) : nullptr;
        EXPECT_TRUE(pumpUntil([&] { return !dialog.connecting; }, 10000));
        EXPECT_TRUE(store.networkMode);

        // A reload without arriving data ends the connection.
        window.liveTick.receiving = false;
        window.onReloadActivated();
        EXPECT_FALSE(store.networkMode);
        EXPECT_FALSE(store.live);
        if (second) {
            EXPECT_TRUE(test::peerClosed(fd2, 5000));
        }

        // Nobody listens: the attempt ends with the store's warning and the dialog is ready
        // for another one.
        logger.close();
        window.openLiveDialog();
        dialog.connectLive();
        EXPECT_TRUE(pumpUntil([&] { return !dialog.connecting; }, 15000));
        EXPECT_FALSE(dialog.get_visible());
        EXPECT_TRUE(dialog.connectButton.get_visible());
        EXPECT_TRUE(dialog.addressEntry.get_sensitive());
        pumpUntil([&] { return !messages.empty(); }, 2000);
        EXPECT_EQ(messages, std::vector<std::string>{"Network connection failed: Connection refused"});
        window.reload(true);

        StreamListener::teardown(first);
        if (second)
            StreamListener::teardown(second);
        return finish();
    });
    EXPECT_EQ(result, 0);
    setDialogRunner(nullptr);
    // The connection of the dialog is the one offered next time.
    EXPECT_EQ(test::readFileText(store.liveFilePath),
              "TITLE=Bench\nSERVER=127.0.0.1\nPORT=" + std::to_string(logger.port()) + "\nDBC=" +
                  Glib::canonicalize_filename(dbc) + "\n");
}

} // namespace
} // namespace vistra
