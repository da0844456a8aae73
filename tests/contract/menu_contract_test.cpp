#include <gtest/gtest.h>

#include <QImage>
#include <any>
#include <optional>
#include <utility>

#include "contract/implementation_names.h"
#include "contract/menu_adaptors.h"
#include "shared/qt_image_codec.h"

// What the core relies on from every platform's menu, as it is rendered and
// chosen from, run against each platform.
namespace bm::contract {
namespace {

using Chosen = std::pair<std::string, int>;  // sender's title and represented object

Image redSquare() {
  QImage image(16, 16, QImage::Format_ARGB32);
  image.fill(Qt::red);
  return qt::fromQImage(image);
}

template <typename Adaptor>
class MenuContract : public ::testing::Test {
 protected:
  MenuItem& add(Menu& menu, const std::string& title, int represented, const std::string& key = "") {
    auto& item = menu.addItem(MenuItem(title, [this](const MenuItem& sender) {
      chosen.emplace_back(sender.title(), std::any_cast<int>(sender.representedObject()));
    }, key));
    item.setRepresentedObject(represented);
    return item;
  }

  // Titles repeat, as they do in the history menu.
  std::shared_ptr<Menu> historyLikeMenu() {
    auto menu = std::make_shared<Menu>();
    menu->addItem(MenuItem("Current", {}, ""))
        .setAttributedTitle({"Current", {TextStyle::FontSize::small, TextStyle::FontWeight::semibold}});
    add(*menu, "Empty", 1).setEnabled(false);
    menu->addItem(MenuItem::separatorItem());
    add(*menu, "Image", 3).setImage(redSquare());
    add(*menu, "Image", 4).setImage(redSquare());
    add(*menu, "plain title", 5).setAttributedTitle({"Styled", {TextStyle::FontSize::regular, TextStyle::FontWeight::semibold}});
    add(*menu, "Hide", 6).setState(MenuItemState::on);
    add(*menu, "Show", 7);

    auto more = std::make_shared<Menu>("More");
    add(*more, "older", 80);
    add(*more, "Empty", 81).setEnabled(false);
    add(*more, "Image", 82).setImage(redSquare());
    menu->addItem(MenuItem("2 more items", {}, "")).setSubmenu(more);  // no action of its own

    auto locked = std::make_shared<Menu>("Locked");
    add(*locked, "behind a disabled item", 90);
    auto& lockedItem = menu->addItem(MenuItem("Locked", {}, ""));
    lockedItem.setSubmenu(locked);
    lockedItem.setEnabled(false);

    auto both = std::make_shared<Menu>("Both");
    add(*both, "inner", 100);
    add(*menu, "Both", 10).setSubmenu(both);  // an action too, which a click cannot reach

    menu->addItem(MenuItem::separatorItem());
    add(*menu, "Quit", 12, "q");
    return menu;
  }

  static RenderedItem entry(std::string title, bool enabled) {
    RenderedItem item;
    item.title = std::move(title);
    item.enabled = enabled;
    return item;
  }

  Adaptor platform;
  std::vector<Chosen> chosen;
};

using Implementations = ::testing::Types<SimMenuAdaptor, QtMenuAdaptor>;
TYPED_TEST_SUITE(MenuContract, Implementations, ImplementationNames);

TYPED_TEST(MenuContract, ShowsEveryItemAsSet) {
  this->platform.show(this->historyLikeMenu());
  using Fixture = MenuContract<TypeParam>;

  auto header = Fixture::entry("Current", false);  // no action
  header.semibold = header.small = true;
  auto image1 = Fixture::entry("Image", true), image2 = image1;
  image1.hasImage = image2.hasImage = true;
  auto styled = Fixture::entry("Styled", true);
  styled.semibold = true;
  auto hide = Fixture::entry("Hide", true);
  hide.checked = true;
  auto moreImage = Fixture::entry("Image", true);
  moreImage.hasImage = true;
  auto more = Fixture::entry("2 more items", true);  // enabled for its submenu
  more.hasSubmenu = true;
  more.submenu = {Fixture::entry("older", true), Fixture::entry("Empty", false), moreImage};
  auto locked = Fixture::entry("Locked", false);
  locked.hasSubmenu = true;
  locked.submenu = {Fixture::entry("behind a disabled item", true)};
  auto both = Fixture::entry("Both", true);
  both.hasSubmenu = true;
  both.submenu = {Fixture::entry("inner", true)};
  auto quit = Fixture::entry("Quit", true);
  quit.shortcut = TypeParam::kQuitShortcut;

  const std::vector<RenderedItem> expected = {
      header, Fixture::entry("Empty", false), renderedSeparator(), image1, image2, styled, hide,
      Fixture::entry("Show", true), more, locked, both, renderedSeparator(), quit};
  const auto shown = this->platform.rendered();
  ASSERT_EQ(shown.size(), expected.size());
  for (size_t index = 0; index < expected.size(); ++index) EXPECT_EQ(shown[index], expected[index]) << "item " << index;
}

TYPED_TEST(MenuContract, OnlyEnabledItemsReachedThroughEnabledSubmenusCanBeChosen) {
  this->platform.show(this->historyLikeMenu());
  const struct {
    std::vector<size_t> path;
    std::optional<Chosen> expected;
    const char* why;
  } cases[] = {
      {{3}, Chosen{"Image", 3}, "the first of two equal titles"},
      {{4}, Chosen{"Image", 4}, "the second of two equal titles"},
      {{5}, Chosen{"plain title", 5}, "a styled item keeps its title"},
      {{8, 0}, Chosen{"older", 80}, "in a submenu whose item has no action"},
      {{8, 2}, Chosen{"Image", 82}, "a third \"Image\", in the submenu"},
      {{10, 0}, Chosen{"inner", 100}, "in the submenu of an item with an action"},
      {{12}, Chosen{"Quit", 12}, "the last item"},
      {{0}, std::nullopt, "no action"},
      {{1}, std::nullopt, "disabled"},
      {{2}, std::nullopt, "a separator"},
      {{8}, std::nullopt, "an item without action that holds a submenu opens it"},
      {{10}, std::nullopt, "an item that holds a submenu opens it, whatever its action"},
      {{8, 1}, std::nullopt, "disabled, in an enabled submenu"},
      {{9, 0}, std::nullopt, "enabled, behind a disabled submenu item"},
      {{3, 0}, std::nullopt, "an item without submenu has no children"},
      {{13}, std::nullopt, "past the end"},
      {{8, 3}, std::nullopt, "past the end of a submenu"},
      {{}, std::nullopt, "no item at all"},
  };
  for (const auto& [path, expected, why] : cases) {
    SCOPED_TRACE(why);
    this->chosen.clear();
    EXPECT_EQ(this->platform.choose(path), expected.has_value());
    EXPECT_EQ(this->chosen, expected ? std::vector<Chosen>{*expected} : std::vector<Chosen>{});
  }
}

TYPED_TEST(MenuContract, TheActionGetsACopyOfTheItemAndMayRebuildTheMenu) {
  auto menu = std::make_shared<Menu>();
  std::vector<Chosen> seen;
  auto rebuild = [&](const MenuItem& sender) {
    // Refills the storage the item lived in: a sender that is no copy reads the new items.
    menu->removeAllItems();
    for (int filler = 0; filler < 3; ++filler) menu->addItemWithTitle("rebuilt", {}, "");
    const auto* represented = std::any_cast<int>(&sender.representedObject());
    seen.emplace_back(sender.title(), represented ? *represented : -1);
  };
  menu->addItem(MenuItem("first", rebuild, "")).setRepresentedObject(1);
  menu->addItem(MenuItem("second", rebuild, "")).setRepresentedObject(2);
  this->platform.show(menu);
  ASSERT_TRUE(this->platform.choose({1}));
  EXPECT_EQ(seen, (std::vector<Chosen>{{"second", 2}}));
}

}  // namespace
}  // namespace bm::contract
