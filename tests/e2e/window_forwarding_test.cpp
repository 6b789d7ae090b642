// Window messages from the settings window: keys and the wheel go to its owner as they
// came, nothing else does, and the callback always answers 0.
#include <ostream>

#include "plugin_fixture.h"

namespace {

struct Message {
    uint32_t message;
    bool forwarded;
};

// gtest would otherwise print the record's bytes, padding included.
void PrintTo(const Message& m, std::ostream* os)
{
    *os << "message 0x" << std::hex << m.message;
}

class WindowForwarding : public PluginTest, public ::testing::WithParamInterface<Message> {};

TEST_P(WindowForwarding, OnlyKeysAndTheWheelReachTheOwner)
{
    const Message m = GetParam();
    StandinWindows windows;
    standin_windows_init(&windows);
    const uintptr_t wparams[] = {0, 0x41, UINTPTR_MAX};
    const intptr_t lparams[] = {0, -1, INTPTR_MIN};
    for (int i = 0; i < 3; ++i) {
        const int32_t answer =
            host_send_message(table, &windows.settings, m.message, wparams[i], lparams[i]);
        EXPECT_EQ(answer, 0);
    }
    ASSERT_EQ(windows.received.size(), m.forwarded ? 3u : 0u);
    for (size_t i = 0; i < windows.received.size(); ++i) {
        EXPECT_EQ(windows.received[i].message, m.message);
        EXPECT_EQ(windows.received[i].wparam, wparams[i]);
        EXPECT_EQ(windows.received[i].lparam, lparams[i]);
    }
}

INSTANTIATE_TEST_SUITE_P(Messages, WindowForwarding,
                         ::testing::Values(Message{0x0100, true}, Message{0x0101, true},
                                           Message{0x020A, true}, Message{0x0000, false},
                                           Message{0x0102, false}, Message{0x0104, false},
                                           Message{0x0200, false}, Message{0x020E, false},
                                           Message{0x0400, false}, Message{kHostNotifyStale101, false},
                                           Message{kHostNotifyStale105, false}, Message{0x10100, false}));

// A settings window without an owner: the keys go nowhere, and nothing breaks.
TEST_F(PluginTest, KeysFromAnOwnerlessWindowAreDropped)
{
    StandinWindows windows;
    standin_windows_init(&windows);
    EXPECT_EQ(host_send_message(table, &windows.owner, 0x0100, 1, 2), 0);
    EXPECT_EQ(host_send_message(table, nullptr, 0x020A, 1, 2), 0);
    EXPECT_TRUE(windows.received.empty());
}

} // namespace
