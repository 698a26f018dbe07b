// Pictures for comparing renderings: read from PNG (libpng), from docrender's
// 32-bit BMP and from a document's stored preview, reduced to a grid of
// block averages and compared by the mean absolute difference per channel.
#pragma once

#include <string>
#include <vector>

namespace testing_painter {

struct Picture {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;  // top-down
  bool Empty() const { return width <= 0 || height <= 0; }
};

Picture ReadPng(const std::string& path);
Picture ReadBmp32(const std::string& path);
// The preview the drawing program stored in the document (docreader and the imaging readers).
Picture ReadStoredPreview(const std::string& document);

// The picture stretched over columns x rows blocks, each the mean of the
// pixels whose centres fall in it, in 0..255 per channel.
std::vector<double> Blocks(const Picture& p, int columns, int rows);
// Mean absolute difference per channel of two block grids of one shape, 0..255.
double MeanDifference(const std::vector<double>& a, const std::vector<double>& b);

// Runs a shell command; the exit code, standard output in out.
int RunCommand(const std::string& command, std::string* out = nullptr);
std::string Quote(const std::string& s);

}  // namespace testing_painter
