#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QImageReader>

#include "model/pasteboard_snapshot.h"
#include "shared/files.h"
#include "shared/posix_file_system.h"
#include "storage/path_hash.h"
#include "support/sim_app.h"
#include "support/test_images.h"

namespace bm {
namespace {
namespace fs = std::filesystem;

const std::string kFigmaUrl = "https://www.figma.com/file/abc/Design";

class ContentCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override { app.launch(); }

  // Another application copies; the next poll captures it.
  void poll() { app.advance(0.5); }
  std::vector<ClipboardItem>& history() { return app.delegate().clipboardHistory; }
  PersistenceManager& storage() { return *app.delegate().persistenceManager; }
  std::vector<std::string> filesIn(const fs::path& dir) {
    std::vector<std::string> names;
    if (fs::exists(dir))
      for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  std::vector<std::string> storedFiles() {
    auto all = filesIn(storage().dataDirectory());
    for (auto& name : filesIn(storage().thumbnailDirectory())) all.push_back("thumbnail " + name);
    for (auto& name : filesIn(app.world.documentsDirectory() / "FileBookmarks")) all.push_back("bookmark " + name);
    return all;
  }
  Bytes dataFileOf(const ClipboardItem& entry) {
    const Uuid id = entry.type == ItemType::image ? std::get<ImageContent>(entry.content).storedFileId
                                                  : std::get<DataContent>(entry.content).storedFileId;
    auto bytes = files::readWholeFile(storage().dataDirectory() / id.uuidString());
    EXPECT_TRUE(bytes.ok());
    return bytes.ok() ? bytes.value() : Bytes{};
  }
  PasteboardSnapshot snapshotOf(const ClipboardItem& entry) {
    auto snapshot = decodePasteboardSnapshot(textOf(dataFileOf(entry)));
    EXPECT_TRUE(snapshot.ok());
    return snapshot.ok() ? snapshot.value() : PasteboardSnapshot{};
  }
  fs::path makeFile(const std::string& name) {
    const auto path = app.world.home() / name;
    EXPECT_TRUE(files::writeWholeFile(posixFileSystem(), path, bytesOf(name)));
    return path;
  }
  std::string statusTitle() { return app.statusItem()->simButton()->title(); }

  test::SimApp app;
  sim::SimPasteboard& pasteboard = app.world.pasteboard;
};

TEST_F(ContentCaptureTest, PlainTextIsKeptExactlyWithACleanTitle) {
  const std::pair<std::string, std::string> copies[] = {
      {"  two\nlines\t\there  ", "two lines here"},
      {"", ""},
      {std::string(100000, 'x'), std::string(20, 'x') + "..."},
  };
  for (const auto& [text, title] : copies) {
    SCOPED_TRACE(text.substr(0, 20));
    pasteboard.copyText(text);
    poll();
    ASSERT_FALSE(history().empty());
    EXPECT_EQ(history()[0].type, ItemType::text);
    EXPECT_EQ(std::get<TextContent>(history()[0].content).text(), text);
    EXPECT_EQ(history()[0].displayText, title);
    EXPECT_EQ(statusTitle(), title);
  }
  EXPECT_EQ(history()[2].displayText, "two lines here");
  EXPECT_EQ(history().size(), 3u);
  EXPECT_TRUE(storedFiles().empty());
  EXPECT_TRUE(app.console().empty());
}

TEST_F(ContentCaptureTest, CopiedFilesAreBookmarkedOneByOne) {
  const auto a = makeFile("a.txt"), b = makeFile("b.txt"), c = makeFile("c.txt");
  app.world.bookmarks.refuseBookmarkFor.insert(b.string());
  pasteboard.copyFiles({a, b, c});
  poll();

  ASSERT_EQ(history().size(), 1u);
  const auto& files = std::get<FileContent>(history()[0].content);
  EXPECT_EQ(history()[0].type, ItemType::file);
  EXPECT_EQ(files.paths, (std::vector<std::string>{a.string(), c.string()}));
  ASSERT_EQ(files.bookmarks.size(), 2u);
  EXPECT_EQ(app.world.bookmarks.resolveBookmark(files.bookmarks[1]).value().url.path(), c.string());
  // The title counts every copied file, the refused one too.
  EXPECT_EQ(history()[0].displayText, "3 Files: a.txt, b.tx...");
  std::vector<std::string> bookmarkFiles = {"bookmark " + bookmarkFileName(a.string()),
                                            "bookmark " + bookmarkFileName(c.string())};
  std::sort(bookmarkFiles.begin(), bookmarkFiles.end());
  EXPECT_EQ(storedFiles(), bookmarkFiles);
  EXPECT_EQ(files::readWholeFile(storage().bookmarksDirectory() / bookmarkFileName(c.string())).value(),
            files.bookmarks[1]);

  pasteboard.copyFiles({a});
  poll();
  EXPECT_EQ(history()[0].displayText, "File: a.txt");
}

TEST_F(ContentCaptureTest, FilesThatCannotBeBookmarkedEndTheCaptureEvenWithText) {
  const auto missing = app.world.home() / "gone.txt";  // a file that is not there cannot be bookmarked
  pasteboard.copyFiles({missing});
  poll();
  EXPECT_TRUE(history().empty());
  EXPECT_TRUE(storedFiles().empty());
  EXPECT_EQ(statusTitle(), "");
  EXPECT_TRUE(app.console().empty());
}

TEST_F(ContentCaptureTest, AnImageIsKeptAsTiffWithAJpegThumbnailAndPreviewed) {
  const std::string text = "caption";
  pasteboard.copyItems({{{"public.png", test::stripes(640, 80)}, {std::string(kPasteboardTypeString), bytesOf(text)}}});
  const auto tiff = pasteboard.dataForType(kPasteboardTypeTIFF);
  ASSERT_TRUE(tiff);
  poll();

  ASSERT_EQ(history().size(), 1u);
  const auto& entry = history()[0];
  EXPECT_EQ(entry.type, ItemType::image);
  EXPECT_EQ(entry.displayText, "Image");
  EXPECT_EQ(dataFileOf(entry), *tiff);
  const auto id = std::get<ImageContent>(entry.content).storedFileId.uuidString();
  QImageReader thumbnail(QString::fromStdString((storage().thumbnailDirectory() / id).string()));
  EXPECT_EQ(thumbnail.format(), "jpeg");
  const QImage small = thumbnail.read();
  EXPECT_EQ(small.size(), QSize(64, 64));  // stretched, not fitted
  EXPECT_GT(qRed(small.pixel(4, 32)), 200);
  EXPECT_GT(qRed(small.pixel(60, 32)), 200);  // the yellow stripe reaches the right edge
  EXPECT_GT(qGreen(small.pixel(60, 32)), 200);
  EXPECT_EQ(statusTitle(), "Image");
  ASSERT_EQ(app.platform().popovers().size(), 1u);
  EXPECT_TRUE(app.platform().popovers()[0]->isShown());
  EXPECT_EQ(app.platform().popovers()[0]->image.size(), (Size{640, 80}));
  EXPECT_TRUE(app.console().empty());
}

TEST_F(ContentCaptureTest, AnImageTheDecoderRefusesFallsThroughToTheText) {
  const int defaultLimit = QImageReader::allocationLimit();
  const struct {
    const char* name;
    std::string type;
    Bytes bytes;
    int allocationLimitMegabytes;
  } refused[] = {
      {"TIFF that is no image", std::string(kPasteboardTypeTIFF), bytesOf("II*\0 broken"), defaultLimit},
      // 40 GB of pixels: refused from the header, before any is made.
      {"a PNG declaring 100000 x 100000", "public.png", test::pngDeclaring(100000, 100000), defaultLimit},
      // A whole picture past the decoder's limit (4 MB of pixels against 1 MB here).
      {"a PNG past the allocation limit", "public.png", test::stripes(1024, 1024), 1},
  };
  for (const auto& c : refused) {
    SCOPED_TRACE(c.name);
    QImageReader::setAllocationLimit(c.allocationLimitMegabytes);
    history().clear();
    pasteboard.copyItems({{{c.type, c.bytes}, {std::string(kPasteboardTypeString), bytesOf(c.name)}}});
    poll();
    ASSERT_EQ(history().size(), 1u);
    EXPECT_EQ(history()[0].type, ItemType::text);
    EXPECT_TRUE(storedFiles().empty());
    EXPECT_TRUE(app.platform().popovers().empty());
  }
  QImageReader::setAllocationLimit(defaultLimit);
  // The same picture within the limit is an image.
  history().clear();
  pasteboard.copyImage(test::stripes(1024, 1024), "public.png");
  poll();
  ASSERT_EQ(history().size(), 1u);
  EXPECT_EQ(history()[0].type, ItemType::image);
}

TEST_F(ContentCaptureTest, ABrowserCopyFromFigmaKeepsEveryType) {
  const std::string html = "<meta charset=\"utf-8\"><div data-figma=\"1\">Frame</div>";
  const struct {
    const char* name;
    std::string sourceUrl;
    std::optional<std::string> text;
    std::optional<std::string> title;  // nothing: recorded as text
  } cases[] = {
      {"figma with text", kFigmaUrl, "Frame  1\nselected", "Figma: Frame 1 selec..."},
      {"figma without text", kFigmaUrl, std::nullopt, "Figma data"},
      {"another site", "https://example.com/figma-com", "Frame 1", std::nullopt},
      {"figma in capitals", "https://www.FIGMA.COM/file/abc", "Frame 1", std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    pasteboard.copyFromBrowser(html, c.sourceUrl, c.text ? &*c.text : nullptr);
    const auto offered = pasteboard.items().front();
    poll();
    ASSERT_FALSE(history().empty());
    const auto& entry = history()[0];
    if (!c.title) {
      EXPECT_EQ(entry.type, ItemType::text);
      EXPECT_EQ(std::get<TextContent>(entry.content).text(), *c.text);
      continue;
    }
    EXPECT_EQ(entry.type, ItemType::data);
    EXPECT_EQ(entry.displayText, *c.title);
    EXPECT_EQ(snapshotOf(entry), PasteboardSnapshot(offered.begin(), offered.end()));
    EXPECT_EQ(textOf(dataFileOf(entry)), encodePasteboardSnapshot(offered).value());
  }
}

TEST_F(ContentCaptureTest, OtherDataKeepsTheFirstAvailableTypeUnderItsName) {
  const Bytes binary = {0x00, 0xff, 0x10, 0x00};
  pasteboard.copyItems({{{"com.example.drawing", binary}, {"com.example.other", bytesOf("second")}}});
  poll();
  ASSERT_EQ(history().size(), 1u);
  EXPECT_EQ(history()[0].type, ItemType::data);
  EXPECT_EQ(history()[0].displayText, "Data");
  EXPECT_EQ(snapshotOf(history()[0]), (PasteboardSnapshot{{"com.example.drawing", binary}}));
  EXPECT_EQ(statusTitle(), "Data");

  pasteboard.copyNothing();
  poll();
  EXPECT_EQ(history().size(), 1u);
  EXPECT_EQ(app.world.defaults.integerForKey("LastChangeCount"), pasteboard.changeCount());
}

TEST_F(ContentCaptureTest, AFailedDataFileWriteSaysSoOnceAndKeepsTheEntry) {
  // A file where the data folder was: every data file write fails.
  fs::remove_all(storage().dataDirectory());
  ASSERT_TRUE(files::writeWholeFile(posixFileSystem(), storage().dataDirectory(), bytesOf("in the way")));
  const std::string expectedStart = "Failed to save data file: Not a directory: " + storage().dataDirectory().string();
  const std::string text = "t";

  const struct {
    const char* name;
    std::function<void()> copy;
    ItemType type;
  } copies[] = {
      {"image", [&] { pasteboard.copyImage(test::stripes(8, 8), "public.png"); }, ItemType::image},
      {"figma", [&] { pasteboard.copyFromBrowser("<p>x</p>", kFigmaUrl, &text); }, ItemType::data},
      {"other data", [&] { pasteboard.copyItems({{{"com.example.x", bytesOf("x")}}}); }, ItemType::data},
  };
  for (const auto& c : copies) {
    SCOPED_TRACE(c.name);
    // Two missing data files count as the same content: start afresh.
    history().clear();
    const size_t lines = app.console().size();
    c.copy();
    poll();
    ASSERT_EQ(app.console().size(), lines + 1);
    EXPECT_TRUE(app.console().back().starts_with(expectedStart)) << app.console().back();
    ASSERT_EQ(history().size(), 1u);
    EXPECT_EQ(history()[0].type, c.type);
  }
}

TEST_F(ContentCaptureTest, PasswordManagerCopiesNeverReachTheDisk) {
  pasteboard.copyText("visible");
  poll();
  const auto before = history();
  app.delegate().previewStyle = PreviewStyle::temporary;
  const struct {
    const char* name;
    sim::PasteboardItem item;
    bool recorded;
  } copies[] = {
      {"concealed", {{"org.nspasteboard.ConcealedType", {}}, {std::string(kPasteboardTypeString), bytesOf("hunter2")}}, false},
      {"transient", {{std::string(kPasteboardTypeString), bytesOf("hunter2")}, {"org.nspasteboard.TransientType", {}}}, false},
      {"kde secret", {{std::string(kPasteboardTypeString), bytesOf("hunter2")}, {"x-kde-passwordManagerHint", bytesOf("secret")}}, false},
      {"kde hint, not secret", {{std::string(kPasteboardTypeString), bytesOf("shown")}, {"x-kde-passwordManagerHint", bytesOf("other")}}, true},
  };
  for (const auto& c : copies) {
    SCOPED_TRACE(c.name);
    app.delegate().updateStatusButton("pending");  // a preview timer is running
    ASSERT_TRUE(app.delegate().previewTimer);
    const size_t entries = history().size();
    pasteboard.copyItems({c.item});
    poll();
    EXPECT_EQ(app.world.defaults.integerForKey("LastChangeCount"), pasteboard.changeCount());
    EXPECT_EQ(history().size(), entries + (c.recorded ? 1 : 0));
    if (c.recorded) continue;
    EXPECT_FALSE(app.delegate().previewTimer);
    EXPECT_EQ(statusTitle(), "pending");
  }
  EXPECT_TRUE(storedFiles().empty());
  EXPECT_TRUE(app.platform().popovers().empty());
  const auto saved = files::readWholeFile(app.world.documentsDirectory() / "ClipboardHistory.data");
  ASSERT_TRUE(saved.ok());
  EXPECT_EQ(textOf(saved.value()).find("hunter2"), std::string::npos);
}

TEST_F(ContentCaptureTest, TheSameImageCopiedAgainReplacesTheOlderEntryAndItsFiles) {
  pasteboard.copyImage(test::stripes(32, 32), "public.png");
  poll();
  const auto first = storedFiles();
  pasteboard.copyText("between");
  poll();
  pasteboard.copyImage(test::stripes(32, 32), "public.png");
  poll();
  ASSERT_EQ(history().size(), 2u);
  EXPECT_EQ(history()[0].type, ItemType::image);
  const auto now = storedFiles();
  ASSERT_EQ(now.size(), 2u);  // one data file, one thumbnail: the new entry's
  EXPECT_NE(now, first);
  EXPECT_EQ(now[0], std::get<ImageContent>(history()[0].content).storedFileId.uuidString());
}

}  // namespace
}  // namespace bm
