// Loading modules: a missing file, a module without the entry point, a working one.
#include <gtest/gtest.h>

#include <string>

#include "host/plugin_loader.h"

namespace {

TEST(PluginLoader, ReportsWhyAModuleIsRefused)
{
    const struct {
        const char* path;
        const char* reason;
    } cases[] = {
        {FAKE_MODULE_WITHOUT_ENTRY, "does not export GetFilterTable"},
        {"no-such-dir/no-such-module.so", "cannot load plug-in"},
        {nullptr, "cannot load plug-in"},
    };
    for (const auto& c : cases) {
        PluginModule module;
        module.handle = &module; // must be emptied on failure
        std::string error;
        EXPECT_FALSE(plugin_load(c.path, &module, &error));
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
        if (c.path) {
            EXPECT_NE(error.find(c.path), std::string::npos) << error;
        }
        EXPECT_EQ(module.handle, nullptr);
        EXPECT_EQ(module.table, nullptr);
        EXPECT_FALSE(plugin_load(c.path, &module, nullptr));
    }
}

TEST(PluginLoader, LoadsTheTableAndUnloads)
{
    PluginModule module;
    std::string error;
    ASSERT_TRUE(plugin_load(FAKE_MODULE_WITH_ENTRY, &module, &error)) << error;
    ASSERT_NE(module.table, nullptr);
    EXPECT_EQ(module.table->flags, 0x1234u);
    EXPECT_STREQ(module.table->name, "fake");
    plugin_unload(&module);
    EXPECT_EQ(module.handle, nullptr);
    EXPECT_EQ(module.table, nullptr);
    plugin_unload(&module);
}

} // namespace
