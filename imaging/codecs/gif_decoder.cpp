#include "imaging/codecs/gif_decoder.h"

#include <algorithm>
#include <cstring>

#include "imaging/codecs/gif_compositor.h"
#include "imaging/codecs/gif_lzw.h"
#include "imaging/codecs/gif_reader.h"

namespace reelmill {

namespace {

using FrameBudget = GifDecoder::FrameBudget;
constexpr std::uint8_t kOpaque = 255;

bool WithinPixelLimit(long long width, long long height) {
  return width >= 0 && height >= 0 &&
         static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) <= PixelImage::kMaxPixels;
}

const std::vector<GifColor>& ColorsFor(const GifImageHeader& image, const GifScreen& screen) {
  return image.localColors.empty() ? screen.colors : image.localColors;
}

GifFrameLayout LayoutOf(const GifImageHeader& image) {
  return GifFrameLayout{image.rect, DisposalFromCode(image.disposalCode), image.transparentIndex};
}

int StreamRowToImageRow(const GifImageHeader& image, int index) {
  return image.interlaced ? InterlacedRow(index, image.rect.height) : index;
}

// What the reader's error makes of image `image`: damage of some kind even
// when the reader gave no reason.
Problem ReaderDamage(const GifReader& reader, long long image) {
  const Problem problem = GifProblem(reader.Error(), image);
  return problem ? problem : ProblemOf(ProblemCode::BadData, image);
}

Problem PixelLimitProblem(long long frame, int width, int height) {
  Problem problem;
  problem.code = ProblemCode::TooManyPixels;
  problem.frame = frame;
  problem.width = width;
  problem.height = height;
  problem.limit = PixelImage::kMaxPixels;
  return problem;
}

BgraCanvas CanvasOf(PixelImage& image) {
  // Rows are bottom-up in memory: each row lies one stride below the one above.
  return BgraCanvas{image.Row(0), -static_cast<std::ptrdiff_t>(image.Stride()), image.Width(), image.Height()};
}

std::unique_ptr<PixelImage> NewImage(int width, int height, int bitCount, FrameBudget& budget) {
  const std::uint64_t bytes = PixelImage::StrideFor(width, bitCount) * static_cast<std::uint64_t>(height);
  if (!budget.Take(bytes)) return nullptr;
  auto image = std::make_unique<PixelImage>();
  if (!image->Create(width, height, bitCount)) return nullptr;
  return image;
}

// The GIF's colours with an opaque fourth byte; entries past the table are
// opaque black; the transparent index gets 0.
void SetFramePalette(PixelImage& image, const std::vector<GifColor>& colors, int transparentIndex) {
  auto palette = image.Palette();
  for (std::size_t i = 0; i < palette.size(); ++i) {
    const GifColor c = i < colors.size() ? colors[i] : GifColor{};
    palette[i] = PaletteEntry{c.blue, c.green, c.red, kOpaque};
  }
  if (transparentIndex >= 0 && static_cast<std::size_t>(transparentIndex) < palette.size()) {
    palette[static_cast<std::size_t>(transparentIndex)].reserved = 0;
  }
}

// Decodes the first image into an 8-bit picture of the whole screen, which
// holds the image's rectangle by the screen policy.
bool DecodeFirstImage(GifReader& reader, const GifImageHeader& first, const GifScreen& screen, PixelImage& image) {
  SetFramePalette(image, ColorsFor(first, screen), first.transparentIndex);
  const GifRect& rect = first.rect;
  const bool coversScreen =
      rect.left == 0 && rect.top == 0 && rect.width == image.Width() && rect.height == image.Height();
  const int outside = first.transparentIndex >= 0 ? first.transparentIndex : screen.backgroundIndex;
  if (!coversScreen && outside != 0) std::memset(image.Bits(), outside, image.BufferSize());
  if (rect.Empty()) return true;
  for (int i = 0; i < rect.height; ++i) {
    std::uint8_t* row = image.Row(rect.top + StreamRowToImageRow(first, i)) + rect.left;
    if (!reader.ReadRow({row, static_cast<std::size_t>(rect.width)})) return false;
  }
  return true;
}

// Decodes the current image row by row onto `canvas`; false when its data is
// damaged.
bool DrawImage(GifReader& reader, const GifImageHeader& image, const GifCompositor& compositor,
               const BgraCanvas& canvas, std::vector<std::uint8_t>& row) {
  if (image.rect.Empty()) return true;
  row.resize(static_cast<std::size_t>(image.rect.width));
  for (int i = 0; i < image.rect.height; ++i) {
    if (!reader.ReadRow(row)) return false;
    compositor.DrawRow(canvas, StreamRowToImageRow(image, i), row.data());
  }
  return true;
}

}  // namespace

std::uint64_t GifDecoder::WorkingBytes(int width, int height) {
  if (width <= 0 || height <= 0) return 0;
  const auto rows = static_cast<std::uint64_t>(height);
  const std::uint64_t indices = std::min(static_cast<std::uint64_t>(width) * rows, GifLzwDecoder::kMaxPixels);
  return PixelImage::StrideFor(width, 8) * rows + 2 * PixelImage::StrideFor(width, 32) * rows + indices;
}

std::uint64_t GifDecoder::KeptFrameBytes(const PixelImage& frame) {
  // Besides its pixels, a kept frame costs the image itself, its row table,
  // its palette, its places in the lists that hold it, and the heap's
  // bookkeeping for each of those blocks: for a file of millions of tiny
  // frames that is nearly everything.
  constexpr std::uint64_t kListsAndHeap = 96;
  return frame.BufferSize() + sizeof(PixelImage) + static_cast<std::uint64_t>(frame.Height()) * sizeof(void*) +
         frame.Palette().size() * sizeof(PaletteEntry) + kListsAndHeap;
}

Problem GifDecoder::FrameBudget::Refusal() const {
  Problem problem;
  problem.code = ProblemCode::OverMemory;
  problem.needed = refused_;
  problem.limit = limit_;
  return problem;
}

bool GifDecoder::Decode(std::span<const std::uint8_t> data, Result& result) {
  result = Result{};
  // Working canvases and kept frames share one budget.
  GifFrameCursor cursor(data, maxDecodedBytes_);
  Result kept;
  int delay = 0;
  while (const PixelImage* frame = cursor.Next(&delay)) {
    auto copy = cursor.Budget().Take(KeptFrameBytes(*frame)) ? std::make_unique<PixelImage>(*frame) : nullptr;
    if (!copy || copy->IsEmpty()) {
      ending_ = cursor.Budget().Refusal();
      return false;
    }
    kept.frames.push_back(std::move(copy));
    kept.delaysCentiseconds.push_back(delay);
  }
  ending_ = cursor.Ending();
  if (cursor.Refused()) return false;
  result = std::move(kept);
  return true;
}

bool GifDecoder::DecodeEach(std::span<const std::uint8_t> data, const FrameSink& sink) {
  GifFrameCursor cursor(data, maxDecodedBytes_);
  ending_ = Problem{};
  int delay = 0;
  while (const PixelImage* frame = cursor.Next(&delay))
    if (!sink(*frame, delay)) return false;
  ending_ = cursor.Ending();
  return !cursor.Refused();
}

bool GifDecoder::Measure(std::span<const std::uint8_t> data, Measurement& measurement) {
  measurement = Measurement{};
  GifFrameCursor cursor(data, maxDecodedBytes_);
  Measurement seen;
  int delay = 0;
  while (const PixelImage* frame = cursor.Next(&delay)) {
    // Decode would keep a copy of every frame: count it against the limit.
    if (!cursor.Budget().Take(KeptFrameBytes(*frame))) {
      ending_ = cursor.Budget().Refusal();
      return false;
    }
    if (seen.frames++ == 0) {
      seen.width = frame->Width();
      seen.height = frame->Height();
    }
  }
  ending_ = cursor.Ending();
  if (cursor.Refused()) return false;
  measurement = seen;
  return true;
}

struct GifFrameCursor::State {
  explicit State(std::span<const std::uint8_t> data) : reader(data) {}
  GifReader reader;
  GifImageHeader first;
  GifImageHeader current;
  GifCompositor compositor;
  GifColorTable table;
  std::unique_ptr<PixelImage> indexed;     // the first image as one 8-bit picture
  std::unique_ptr<PixelImage> firstFrame;  // the first image composited
  std::unique_ptr<PixelImage> canvas;
  std::vector<std::uint8_t> row;
};

GifFrameCursor::GifFrameCursor(std::span<const std::uint8_t> data, std::uint64_t maxDecodedBytes)
    : budget_(maxDecodedBytes), state_(std::make_unique<State>(data)) {}

GifFrameCursor::~GifFrameCursor() = default;

const PixelImage* GifFrameCursor::Deliver(const PixelImage* frame, int delay, int* delayOut) {
  if (delayOut) *delayOut = delay;
  ++delivered_;
  return frame;
}

const PixelImage* GifFrameCursor::Refuse(Problem why) {
  phase_ = Phase::Refused;
  ending_ = std::move(why);
  state_.reset();
  return nullptr;
}

const PixelImage* GifFrameCursor::Next(int* delay) {
  switch (phase_) {
    case Phase::Start: return Begin(delay);
    case Phase::CanvasDue:
      // Frame 0 went out; its pictures are no longer needed.
      state_->firstFrame.reset();
      state_->indexed.reset();
      phase_ = Phase::Animating;
      return Deliver(state_->canvas.get(), state_->current.delayCentiseconds, delay);
    case Phase::Animating:
      if (!state_->reader.NextImage(state_->current)) return Finish(GifProblem(state_->reader.Error(), delivered_));
      return DrawCurrent(delay);
    case Phase::Done:
    case Phase::Refused: break;
  }
  return nullptr;
}

const PixelImage* GifFrameCursor::Finish(Problem ending) {
  phase_ = Phase::Done;
  ending_ = std::move(ending);
  state_.reset();
  return nullptr;
}

const PixelImage* GifFrameCursor::Begin(int* delay) {
  State& s = *state_;
  if (!s.reader.Open()) return Refuse(ReaderDamage(s.reader, -1));
  if (!s.reader.NextImage(s.first)) {
    Problem why = GifProblem(s.reader.Error(), 0);
    if (!why) why.code = ProblemCode::NoImage;
    return Refuse(why);
  }
  const GifScreen& screen = s.reader.Screen();
  const int width = std::max(screen.width, s.first.rect.Right());
  const int height = std::max(screen.height, s.first.rect.Bottom());
  if (!WithinPixelLimit(s.first.rect.width, s.first.rect.height))
    return Refuse(PixelLimitProblem(0, s.first.rect.width, s.first.rect.height));
  if (!WithinPixelLimit(width, height)) return Refuse(PixelLimitProblem(-1, width, height));
  if (width <= 0 || height <= 0) return Refuse(ProblemOf(ProblemCode::NoImage));
  s.indexed = NewImage(width, height, 8, budget_);
  if (!s.indexed) return Refuse(budget_.Refusal());
  if (!DecodeFirstImage(s.reader, s.first, screen, *s.indexed)) return Refuse(ReaderDamage(s.reader, 0));
  if (!s.reader.NextImage(s.current)) return Still(delay, GifProblem(s.reader.Error(), 1));

  // An animation: the first frame goes onto a transparent canvas, and every
  // later frame starts from the one before after its disposal.
  s.table = MakeColorTable(ColorsFor(s.first, screen));
  s.firstFrame = NewImage(width, height, 32, budget_);
  s.canvas = NewImage(width, height, 32, budget_);
  if (!s.firstFrame || !s.canvas) return Refuse(budget_.Refusal());
  const BgraCanvas view = CanvasOf(*s.firstFrame);
  s.compositor.BeginFrame(view, LayoutOf(s.first), s.table);
  for (int y = 0; y < s.first.rect.height; ++y) {
    s.compositor.DrawRow(view, y, s.indexed->Row(s.first.rect.top + y) + s.first.rect.left);
  }
  std::memcpy(s.canvas->Bits(), s.firstFrame->Bits(), s.canvas->BufferSize());
  phase_ = Phase::Animating;
  return DrawCurrent(delay);
}

// Only the first image survived: the file shows one picture.
const PixelImage* GifFrameCursor::Still(int* delay, Problem ending) {
  still_ = std::move(state_->indexed);
  const int firstDelay = state_->first.delayCentiseconds;
  Finish(std::move(ending));
  return Deliver(still_.get(), firstDelay, delay);
}

const PixelImage* GifFrameCursor::DrawCurrent(int* delay) {
  State& s = *state_;
  // An image larger than the pixel limit, or one whose data is damaged, ends
  // the animation; the frames before it stay. (Image 1 is drawn before
  // frame 0 goes out.)
  const int image = std::max(delivered_, 1);
  Problem damage;
  if (!WithinPixelLimit(s.current.rect.width, s.current.rect.height)) {
    damage = PixelLimitProblem(image, s.current.rect.width, s.current.rect.height);
  } else {
    const BgraCanvas view = CanvasOf(*s.canvas);
    s.compositor.Dispose(view);
    s.table = MakeColorTable(ColorsFor(s.current, s.reader.Screen()));
    s.compositor.BeginFrame(view, LayoutOf(s.current), s.table);
    if (!DrawImage(s.reader, s.current, s.compositor, view, s.row)) damage = ReaderDamage(s.reader, image);
  }
  if (damage) return delivered_ == 0 ? Still(delay, std::move(damage)) : Finish(std::move(damage));
  if (delivered_ == 0) {
    // The second image decoded, so the file is an animation after all.
    phase_ = Phase::CanvasDue;
    return Deliver(s.firstFrame.get(), s.first.delayCentiseconds, delay);
  }
  return Deliver(s.canvas.get(), s.current.delayCentiseconds, delay);
}

}  // namespace reelmill
