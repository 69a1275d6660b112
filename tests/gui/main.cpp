// The GUI tests run on Qt's offscreen platform with folders of their own, so
// that nothing reaches the user's desktop, settings or recordings.
#include <gtest/gtest.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::string pattern = (std::filesystem::temp_directory_path() / "tavrin-gui-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return 3;
    for (const char* sub : {"/home", "/config", "/runtime", "/home/Documents"})
        std::filesystem::create_directories(pattern + sub);
    std::filesystem::permissions(pattern + "/runtime", std::filesystem::perms::owner_all);
    setenv("HOME", (pattern + "/home").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (pattern + "/config").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (pattern + "/runtime").c_str(), 1);
    setenv("XDG_DOCUMENTS_DIR", (pattern + "/home/Documents").c_str(), 1);

    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    const int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    return result;
}
