#include "app/settings_rules.h"

namespace reelmill {

int ApplyPercent(int value, std::string_view item) {
  struct Factor {
    std::string_view item;
    double factor;
  };
  static constexpr Factor kFactors[] = {{"10%", 0.1},   {"25%", 0.25}, {"50%", 0.5},  {"75%", 0.75},
                                        {"125%", 1.25}, {"150%", 1.5}, {"175%", 1.75}};
  if (item == "200%") return value * 2;
  for (const Factor& f : kFactors)
    if (f.item == item) return static_cast<int>(value * f.factor);
  return value;
}

std::optional<std::pair<int, int>> PresetSize(std::string_view item) {
  static constexpr std::pair<std::string_view, std::pair<int, int>> kSizes[] = {
      {"128*96", {128, 96}},   {"160*120", {160, 120}}, {"176*144", {176, 144}}, {"320*240", {320, 240}},
      {"352*288", {352, 288}}, {"640*480", {640, 480}}, {"720*567", {720, 567}}};
  for (const auto& [text, size] : kSizes)
    if (text == item) return size;
  return std::nullopt;
}

std::string FolderWithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

}  // namespace reelmill
