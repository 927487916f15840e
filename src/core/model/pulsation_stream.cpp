#include "core/model/pulsation_stream.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "core/base/safe_file.h"

namespace mdv {

namespace {

constexpr uint64_t HeadSize = 2 * ExtSize + 4;   // StartTime, TimeStep, P
constexpr uint64_t PointSize = 2 * ExtSize + 4;  // X, Y, a reserved int32

std::string Quote(const std::string& path) { return "\"" + path + "\""; }

bool Fail(std::string& error, const std::string& path, const std::string& why) {
  error = Quote(path) + ": " + why;
  return false;
}

bool ReadExactly(platform::File& f, uint8_t* at, std::size_t n) {
  while (n > 0) {
    std::size_t got = 0;
    if (f.Read(at, n, got) || got == 0) return false;
    at += got;
    n -= got;
  }
  return true;
}

// Copies up to n bytes from `in` to `out` in blocks; `copied` gets the
// count (short only at the end of the input).
bool CopyBytes(platform::File& in, platform::File& out, uint64_t n, uint64_t& copied) {
  uint8_t block[1 << 16];
  copied = 0;
  while (copied < n) {
    std::size_t got = 0;
    if (in.Read(block, static_cast<std::size_t>(std::min<uint64_t>(sizeof block, n - copied)), got)) return false;
    if (got == 0) return true;
    if (out.WriteAll(block, got)) return false;
    copied += got;
  }
  return true;
}

// Reads up to n bytes into `at` (fewer only at the end of the input) and
// writes what it got to `out`.
bool TakeBytes(platform::File& in, platform::File& out, uint8_t* at, std::size_t n, std::size_t& got) {
  got = 0;
  while (got < n) {
    std::size_t part = 0;
    if (in.Read(at + got, n - got, part)) return false;
    if (part == 0) break;
    got += part;
  }
  return !out.WriteAll(at, got);
}

bool StageRecord(platform::File& in, const std::string& path, std::string& staged, std::string& error) {
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  platform::File out;
  if (ec || out.CreateBeside((dir / "pulsation.pls").string(), staged)) {
    staged.clear();
    return Fail(error, path, "не удалось создать временный файл для записи из устройства или канала");
  }
  auto failed = [&](const std::string& why) {
    out.Close();
    platform::RemoveFile(staged);
    staged.clear();
    return Fail(error, path, why);
  };
  // Head, then the points and the sample count: each count read from the
  // copy tells how much more to take. A short input stops the copy; the
  // staged file's own checks name what is missing.
  uint8_t head[HeadSize];
  uint8_t count[4] = {0, 0, 0, 0};
  std::size_t got = 0;
  uint64_t copied = 0;
  if (!TakeBytes(in, out, head, HeadSize, got)) return failed("файл не прочитан");
  if (got < HeadSize) return failed("файл короче заголовка записи пульсаций (" + std::to_string(got) + " байт)");
  const int32_t p = GetInt32(head + 2 * ExtSize);
  uint64_t stated = HeadSize;
  bool counted = false;  // both counts read and not negative
  if (p >= 0) {
    const uint64_t pointBytes = PointSize * uint64_t(p);
    if (!CopyBytes(in, out, pointBytes, copied)) return failed("файл не прочитан");
    if (copied == pointBytes && !TakeBytes(in, out, count, 4, got)) return failed("файл не прочитан");
    const int32_t m = GetInt32(count);
    const uint64_t rows = m > 0 ? 2 * uint64_t(ExtSize) * uint64_t(m) * uint64_t(p) : 0;
    stated += pointBytes + 4 + rows;
    counted = got == 4 && m >= 0;
    if (copied == pointBytes && got == 4 && !CopyBytes(in, out, rows, copied)) return failed("файл не прочитан");
  }
  // Anything beyond the stated length is not this record.
  uint8_t extra = 0;
  std::size_t more = 0;
  if (counted && !in.Read(&extra, 1, more) && more > 0)
    return failed("данных больше, чем требуют числа точек и отсчётов записи (" + std::to_string(stated) + " байт)");
  if (out.Close()) return failed("не удалось записать временный файл");
  return true;
}

}  // namespace

bool StagePulsationRecord(const std::string& path, std::string& staged, std::string& error) {
  platform::File in;
  if (const std::error_code err = in.OpenForReading(path)) {
    error = ReadFailureText(path, err);
    return false;
  }
  return StageRecord(in, path, staged, error);
}

bool PulsationPointStream::Open(const std::string& path, PulsationRecord& header, std::string& error) {
  path_ = path;
  platform::EntryInfo info;
  std::error_code ec = vx_.OpenForReading(path);
  if (!ec) ec = vx_.Info(info);
  if (ec) {
    error = ReadFailureText(path, ec);
    return false;
  }
  if (info.Kind == platform::EntryKind::Directory) return Fail(error, path, "это папка, а не файл");
  // The rows of one point lie far apart: read by seeking, never whole.
  std::string source = path;
  if (info.Kind != platform::EntryKind::Regular) {
    std::string staged;
    if (!StageRecord(vx_, path, staged, error)) return false;
    ec = vx_.OpenForReading(staged);
    if (!ec) ec = vx_.Info(info);
    if (ec) {
      platform::RemoveFile(staged);
      error = ReadFailureText(path, ec);
      return false;
    }
    if (const std::error_code err = vy_.OpenForReading(staged)) {
      platform::RemoveFile(staged);
      error = ReadFailureText(path, err);
      return false;
    }
    platform::RemoveFile(staged);
    source.clear();
  }
  const uint64_t size = info.Size;
  if (size < HeadSize + 4)
    return Fail(error, path, "файл короче заголовка записи пульсаций (" + std::to_string(size) + " байт)");
  uint8_t head[HeadSize];
  if (!ReadExactly(vx_, head, HeadSize)) return Fail(error, path, "файл не прочитан");
  PulsationRecord h;
  ByteReader in(head, HeadSize);
  int32_t p = 0;
  if (!in.FiniteExt(h.StartTime)) return Fail(error, path, "начальное время не является числом");
  if (!in.FiniteExt(h.TimeStep)) return Fail(error, path, "шаг по времени не является числом");
  in.Int32(p);
  if (p < 0) return Fail(error, path, "отрицательное число точек (" + std::to_string(p) + ")");
  const uint64_t afterPoints = HeadSize + PointSize * uint64_t(p) + 4;
  if (afterPoints > size) return Fail(error, path, "файл короче, чем требуют " + std::to_string(p) + " точек");
  Bytes points(static_cast<std::size_t>(PointSize * uint64_t(p) + 4));
  if (!ReadExactly(vx_, points.data(), points.size())) return Fail(error, path, "файл не прочитан");
  ByteReader pr(points);
  h.Points.resize(static_cast<std::size_t>(p));
  for (TRealPoint& pt : h.Points) {
    if (!pr.FiniteExt(pt.X) || !pr.FiniteExt(pt.Y)) return Fail(error, path, "координата точки не является числом");
    pr.Skip(4);
  }
  pr.Int32(h.SampleCount);
  const int32_t m = h.SampleCount;
  if (m < 0) return Fail(error, path, "отрицательное число отсчётов (" + std::to_string(m) + ")");
  const uint64_t expected = afterPoints + 2 * uint64_t(ExtSize) * uint64_t(m) * uint64_t(p);
  if (expected != size)
    return Fail(error, path,
                "длина файла " + std::to_string(size) + " байт, а для " + std::to_string(p) + " точек и " +
                    std::to_string(m) + " отсчётов нужно " + std::to_string(expected));
  if (!source.empty()) {
    if (const std::error_code err = vy_.OpenForReading(source)) {
      error = ReadFailureText(path, err);
      return false;
    }
  }
  rowsAt_ = afterPoints;
  points_ = p;
  samples_ = m;
  header = std::move(h);
  return true;
}

bool PulsationPointStream::Start(int32_t point, int64_t first, std::string& error) {
  if (point < 0 || point >= points_ || first < 0 || first > samples_)
    return Fail(error, path_, "нет точки " + std::to_string(int64_t{point} + 1) + " или отсчёта " +
                                  std::to_string(first + 1));
  const uint64_t row = uint64_t(ExtSize) * uint64_t(samples_);
  const uint64_t skip = uint64_t(ExtSize) * uint64_t(first);
  if (vx_.Seek(rowsAt_ + row * uint64_t(point) + skip) ||
      vy_.Seek(rowsAt_ + row * (uint64_t(points_) + uint64_t(point)) + skip))
    return Fail(error, path_, "файл не прочитан");
  next_ = first;
  return true;
}

bool PulsationPointStream::ReadRow(platform::File& f, double* out, std::size_t n, std::string& error) {
  block_.resize(n * ExtSize);
  if (!ReadExactly(f, block_.data(), block_.size())) return Fail(error, path_, "файл не прочитан");
  ByteReader in(block_);
  for (std::size_t j = 0; j < n; ++j) {
    Real v = 0;
    if (!in.FiniteExt(v)) return Fail(error, path_, "значение скорости не является числом");
    out[j] = static_cast<double>(v);
    // The statistics and spectra of a stream are in double precision.
    if (!std::isfinite(out[j])) return Fail(error, path_, "значение скорости вне диапазона двойной точности");
  }
  return true;
}

bool PulsationPointStream::ReadRow(platform::File& f, Real* out, std::size_t n, std::string& error) {
  block_.resize(n * ExtSize);
  if (!ReadExactly(f, block_.data(), block_.size())) return Fail(error, path_, "файл не прочитан");
  ByteReader in(block_);
  for (std::size_t j = 0; j < n; ++j) {
    if (!in.FiniteExt(out[j])) return Fail(error, path_, "значение скорости не является числом");
  }
  return true;
}

bool PulsationPointStream::ReadExtended(Real* vx, Real* vy, std::size_t n, std::size_t& got, std::string& error) {
  got = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(n), samples_ - next_));
  if (got == 0) return true;
  if (!ReadRow(vx_, vx, got, error) || !ReadRow(vy_, vy, got, error)) return false;
  next_ += static_cast<int64_t>(got);
  return true;
}

bool PulsationPointStream::Read(double* vx, double* vy, std::size_t n, std::size_t& got, std::string& error) {
  got = static_cast<std::size_t>(std::min<int64_t>(static_cast<int64_t>(n), samples_ - next_));
  if (got == 0) return true;
  if (!ReadRow(vx_, vx, got, error) || !ReadRow(vy_, vy, got, error)) return false;
  next_ += static_cast<int64_t>(got);
  return true;
}

}  // namespace mdv
