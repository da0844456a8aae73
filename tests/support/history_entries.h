#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/clipboard_item.h"

// Entries for tests, and a field-by-field comparison (entries themselves
// have no equality: two entries are the same entry when their ids are).
namespace bm::test {

inline Uuid uuid(const char* text) { return *Uuid::fromString(text); }

inline ClipboardItem textEntry(std::string text, double seconds = 800000000.25) {
  return {Uuid::random(), Date{seconds}, TextContent{text}, ItemType::text, text.size() <= 20 ? text : "long text"};
}
inline ClipboardItem imageEntry(Uuid storedFileId = Uuid::random()) {
  return {Uuid::random(), Date{800000001.5}, ImageContent{storedFileId}, ItemType::image, "Image"};
}
inline ClipboardItem dataEntry(Uuid storedFileId = Uuid::random()) {
  return {Uuid::random(), Date{800000002.75}, DataContent{storedFileId}, ItemType::data, "public.data"};
}
inline ClipboardItem fileEntry(std::vector<std::string> paths, std::vector<Bytes> bookmarks) {
  return {Uuid::random(), Date{800000003.0}, FileContent{std::move(paths), std::move(bookmarks)}, ItemType::file,
          "files"};
}

// n text entries, newest first, each with its own text.
inline std::vector<ClipboardItem> textHistory(int n) {
  std::vector<ClipboardItem> items;
  for (int i = 0; i < n; ++i) items.push_back(textEntry("entry " + std::to_string(i), 800000000.0 - i));
  return items;
}

inline void expectSameEntries(const std::vector<ClipboardItem>& actual, const std::vector<ClipboardItem>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (size_t i = 0; i < actual.size(); ++i) {
    SCOPED_TRACE("entry " + std::to_string(i));
    EXPECT_EQ(actual[i].id, expected[i].id);
    EXPECT_EQ(actual[i].timestamp, expected[i].timestamp);
    EXPECT_TRUE(identicalContents(actual[i].content, expected[i].content));
    EXPECT_EQ(actual[i].type, expected[i].type);
    EXPECT_EQ(actual[i].displayText, expected[i].displayText);
  }
}

}  // namespace bm::test
