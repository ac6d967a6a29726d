// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/project.h"

#include <gtest/gtest.h>

namespace pelorix {
namespace {

Source sourceOf(const std::string& file, float duration) {
  Source s;
  s.file = file;
  s.duration = duration;
  return s;
}

std::vector<std::string> filesOf(const Layer& layer) {
  std::vector<std::string> files;
  for (const Source& s : layer.sources)
    files.push_back(s.file);
  return files;
}

TEST(ProjectModel, DefaultsOfResetLayerAndSource) {
  Project project;
  project.layerCount = 3;
  project.layers[2].number = 9;
  project.resetProject();
  EXPECT_EQ(project.layerCount, 0);
  EXPECT_EQ(project.fps, 30.0f);
  EXPECT_EQ(project.outputWidth, 320);
  EXPECT_EQ(project.outputHeight, 240);
  EXPECT_EQ(project.name, "新規プロジェクト");
  EXPECT_EQ(project.saveFileName, "new");
  EXPECT_EQ(project.saveFolder, ".");
  EXPECT_EQ(project.outputFormat, "jpg");
  for (const Layer& layer : project.layers) {
    EXPECT_EQ(layer.number, 0);
    EXPECT_EQ(layer.name, "-");
    EXPECT_TRUE(layer.sources.empty());
  }

  const int index = project.addLayer();
  const Layer& fresh = project.layers[static_cast<size_t>(index)];
  EXPECT_EQ(fresh.visible, 0);
  EXPECT_EQ(fresh.effects, 0);
  EXPECT_EQ(fresh.keyColor, (KeyColor{0, 0, 0, 0}));

  const Source source;
  EXPECT_EQ(source.flags, 1);
  EXPECT_EQ(source.scale, 1.0f);
  EXPECT_EQ(source.opacity, 1.0f);
  EXPECT_EQ(source.file, "-");
}

TEST(ProjectModel, AddLayerStopsAtSixteen) {
  Project project;
  project.resetProject();
  for (int i = 0; i < 15; ++i)
    ASSERT_EQ(project.addLayer(), i);
  EXPECT_EQ(project.addLayer(), 15);
  const Project before = project;
  EXPECT_EQ(project.addLayer(), -1);
  EXPECT_EQ(project, before);
}

TEST(ProjectModel, RemoveLayerShiftsLaterLayersWithTheirSources) {
  Project project;
  project.resetProject();
  for (int number : {5, 7, 9}) {
    const int index = project.addLayer();
    project.layers[static_cast<size_t>(index)].number = number;
    project.addSource(index, sourceOf(std::string("f").append(std::to_string(number)),
                                      static_cast<float>(number)));
  }
  project.removeLayerAt(3);  // out of range: nothing happens
  EXPECT_EQ(project.layerCount, 3);
  project.removeLayerAt(0);
  ASSERT_EQ(project.layerCount, 2);
  EXPECT_EQ(project.layers[0].number, 7);
  EXPECT_EQ(project.layers[1].number, 9);
  EXPECT_EQ(filesOf(project.layers[0]), std::vector<std::string>{"f7"});
  EXPECT_EQ(project.layers[1].totalDuration, 9.0f);
  EXPECT_TRUE(project.layers[2].sources.empty());
  project.removeLayerAt(-1);
  EXPECT_EQ(project.layerCount, 2);
}

TEST(ProjectModel, FindLayerByNumberTakesTheFirstMatch) {
  Project project;
  project.resetProject();
  for (int number : {4, 2, 4})
    project.layers[static_cast<size_t>(project.addLayer())].number = number;
  EXPECT_EQ(project.findLayerByNumber(4), 0);
  EXPECT_EQ(project.findLayerByNumber(2), 1);
  EXPECT_EQ(project.findLayerByNumber(3), -1);
  project.layers[5].number = 3;  // a spare slot does not count
  EXPECT_EQ(project.findLayerByNumber(3), -1);
}

TEST(ProjectModel, TotalDurationFollowsEverySourceOperation) {
  Project project;
  project.resetProject();
  const int layer = project.addLayer();
  project.addSource(layer, sourceOf("a", 0.5f));
  project.addSource(layer, sourceOf("b", 1.5f));
  EXPECT_EQ(project.layers[0].totalDuration, 2.0f);
  project.replaceSourceAt(layer, 0, sourceOf("a2", 1.0f));
  EXPECT_EQ(project.layers[0].totalDuration, 2.5f);
  project.removeSourceAt(layer, 1);
  EXPECT_EQ(project.layers[0].totalDuration, 1.0f);
  project.addSource(layer, sourceOf("c", 0.25f));
  project.moveSource(layer, 1, 0);
  EXPECT_EQ(project.layers[0].totalDuration, 1.25f);
  EXPECT_EQ(filesOf(project.layers[0]), (std::vector<std::string>{"c", "a2"}));
}

TEST(ProjectModel, InsertAndMoveSources) {
  Project project;
  project.resetProject();
  const int layer = project.addLayer();
  for (const char* file : {"A", "B", "C"})
    project.addSource(layer, sourceOf(file, 1));
  EXPECT_EQ(project.addSource(layer, sourceOf("X", 1), 1), 1);
  EXPECT_EQ(filesOf(project.layers[0]), (std::vector<std::string>{"A", "X", "B", "C"}));
  project.removeSourceAt(layer, 1);

  struct Case {
    int from, to;
    std::vector<std::string> expected;
  };
  const Case cases[] = {{0, 2, {"B", "C", "A"}}, {2, 0, {"C", "A", "B"}}, {1, 1, {"A", "B", "C"}}};
  for (const Case& c : cases) {
    Project copy = project;
    copy.moveSource(layer, c.from, c.to);
    EXPECT_EQ(filesOf(copy.layers[0]), c.expected) << c.from << "->" << c.to;
  }

  // Row drags: five rows, 1 onto 4 and 4 onto 1.
  Project five;
  five.resetProject();
  five.addLayer();
  for (const char* file : {"0", "1", "2", "3", "4"})
    five.addSource(0, sourceOf(file, 1));
  Project a = five;
  a.moveSource(0, 1, 4);
  EXPECT_EQ(filesOf(a.layers[0]), (std::vector<std::string>{"0", "2", "3", "4", "1"}));
  Project b = five;
  b.moveSource(0, 4, 1);
  EXPECT_EQ(filesOf(b.layers[0]), (std::vector<std::string>{"0", "4", "1", "2", "3"}));
}

}  // namespace
}  // namespace pelorix
