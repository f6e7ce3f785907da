// Signature files: the 171-byte record as the editor writes it, the reader in both variants,
// and files the reader must refuse.
#include <gtest/gtest.h>

#include <filesystem>

#include "raw/default_signatures.h"
#include "raw/signature_file.h"
#include "support/test_support.h"

namespace quarnel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A record laid out by hand, offset by offset, without the code under test.
struct HandRecord {
  Bytes b = Bytes(171, 0);
  HandRecord& ext(const std::string& e) {
    for (std::size_t i = 0; i < e.size() && i < 4; ++i) b[2 * i] = static_cast<std::uint8_t>(e[i]);
    b[0x0A] = static_cast<std::uint8_t>(e.size());
    return *this;
  }
  HandRecord& start(const Bytes& s) {
    std::copy(s.begin(), s.end(), b.begin() + 0x0B);
    b[0x1F] = static_cast<std::uint8_t>(s.size());
    return *this;
  }
  HandRecord& end(const Bytes& s) {
    std::copy(s.begin(), s.end(), b.begin() + 0x15);
    b[0x20] = static_cast<std::uint8_t>(s.size());
    return *this;
  }
  HandRecord& number(std::uint8_t n) { b[0x21] = n; return *this; }
  HandRecord& le(std::size_t at, std::uint64_t v, int width) {
    for (int i = 0; i < width; ++i) b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
    return *this;
  }
  HandRecord& category(const std::string& c) {
    for (std::size_t i = 0; i < c.size(); ++i) b[0x43 + 2 * i] = static_cast<std::uint8_t>(c[i]);
    return *this;
  }
};

Bytes concat(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

SignatureEditorFields jpgFields() {
  SignatureEditorFields f;
  f.extension = "jpg";
  f.startSignature = "0xFF,0xD8,0xFF";
  f.endSignature = "0xFF,0xD9";
  f.category = "Images";
  return f;
}

TEST(SignatureRecord, EditorExampleIsWrittenByteForByte) {
  test::ScratchDir dir;
  AppendResult r = appendSignatureRecord(dir.file("sig"), draftFromEditorFields(jpgFields()));
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(r.message, "everything initialized well.....");
  HandRecord want;
  want.ext("jpg").start({0xFF, 0xD8, 0xFF}).end({0xFF, 0xD9}).number(0).le(0x22, 0xFFFFFFFF, 4).category("Images");
  EXPECT_EQ(test::readFile(dir.file("sig")), want.b);
}

TEST(SignatureRecord, HandWrittenFileIsReadFieldByField) {
  test::ScratchDir dir;
  HandRecord first, second;
  first.ext("jpg").start({0xFF, 0xD8, 0xFF}).end({0xFF, 0xD9}).number(0).le(0x22, 0xFFFFFFFF, 4).category("Images");
  second.ext("mpeg").start({0x00, 0x00, 0x01, 0xBA}).number(1).category("Video");
  second.b[0x0A] = 5;  // typed "mpeg4"
  second.le(0x22, 4, 4).le(0x26, 4, 4).le(0x2A, 8, 4).le(0x33, 0x123456789ULL, 8).le(0x3B, 1048576, 8);
  second.b[0x2E] = 1;
  test::writeFile(dir.file("sig"), concat({first.b, second.b}));

  for (auto variant : {SignatureFileVariant::Default, SignatureFileVariant::Chosen}) {
    SignatureFileLoad load = loadSignatureFile(dir.file("sig"), variant);
    ASSERT_EQ(load.status, LoadStatus::Loaded) << load.message;
    ASSERT_EQ(load.records.size(), 2u);
    const SignatureRecord& a = load.records[0];
    EXPECT_EQ(a.extensionText(), "jpg");
    EXPECT_EQ(a.startBytes(), (Bytes{0xFF, 0xD8, 0xFF}));
    EXPECT_EQ(a.endBytes(), (Bytes{0xFF, 0xD9}));
    EXPECT_EQ(a.sizeOffset, -1);
    EXPECT_EQ(a.categoryText(), "Images");
    const SignatureRecord& b = load.records[1];
    EXPECT_EQ(b.extensionText(), "mpeg");
    EXPECT_EQ(b.extensionLength, 5);
    EXPECT_TRUE(b.endBytes().empty());
    EXPECT_EQ(b.recordNumber, 1);
    EXPECT_EQ(b.sizeOffset, 4);
    EXPECT_EQ(b.sizeBytes, 4);
    EXPECT_EQ(b.headerSize, 8);
    EXPECT_EQ(b.sizeIncludesHeader, 1);
    EXPECT_EQ(b.approxSize, 0x123456789LL);
    EXPECT_EQ(b.skipSize, 1048576);
    EXPECT_EQ(b.categoryText(), "Video");
    // What is read is written back the same.
    const auto again = a.encode();
    EXPECT_TRUE(std::equal(again.begin(), again.end(), reinterpret_cast<const std::byte*>(first.b.data())));
  }
}

struct FieldCase {
  const char* name;
  SignatureEditorFields fields;
  std::vector<std::uint16_t> extension;  // the four stored units
  int extensionLength;
  Bytes start;
  std::int32_t sizeOffset;
  std::int64_t approx;
};

TEST(SignatureEditor, FieldsAreReadAsTheEditorReadsThem) {
  auto with = [](auto change) {
    SignatureEditorFields f = jpgFields();
    change(f);
    return f;
  };
  const FieldCase cases[] = {
      {"mpeg4 keeps four", with([](auto& f) { f.extension = "mpeg4"; }), {'m', 'p', 'e', 'g'}, 5,
       {0xFF, 0xD8, 0xFF}, -1, 0},
      {"empty pieces skipped", with([](auto& f) { f.startSignature = "1,2,,3"; }), {'j', 'p', 'g', 0}, 3,
       {1, 2, 3}, -1, 0},
      {"prefix, blanks, no number, low byte", with([](auto& f) { f.startSignature = " 0x4d , zz,1FF, ,ab"; }),
       {'j', 'p', 'g', 0}, 3, {0x4D, 0, 0xFF, 0xAB}, -1, 0},
      {"offset 0 is none", with([](auto& f) { f.sizeOffset = "0"; }), {'j', 'p', 'g', 0}, 3, {0xFF, 0xD8, 0xFF}, -1, 0},
      {"offset given", with([](auto& f) { f.sizeOffset = "2"; }), {'j', 'p', 'g', 0}, 3, {0xFF, 0xD8, 0xFF}, 2, 0},
      {"text is 0", with([](auto& f) { f.approxSize = "lots"; }), {'j', 'p', 'g', 0}, 3, {0xFF, 0xD8, 0xFF}, -1, 0},
      {"sign-extended", with([](auto& f) { f.approxSize = "-1"; }), {'j', 'p', 'g', 0}, 3, {0xFF, 0xD8, 0xFF}, -1, -1},
      {"32-bit at most", with([](auto& f) { f.approxSize = "99999999999"; }), {'j', 'p', 'g', 0}, 3,
       {0xFF, 0xD8, 0xFF}, -1, 2147483647},
      {"UTF-8 extension", with([](auto& f) { f.extension = "\xc3\xa9t\xc3\xa9"; }), {0xE9, 't', 0xE9, 0}, 3,
       {0xFF, 0xD8, 0xFF}, -1, 0},
  };
  for (const FieldCase& c : cases) {
    SCOPED_TRACE(c.name);
    BuiltRecord b = buildSignatureRecord(draftFromEditorFields(c.fields), 0);
    ASSERT_TRUE(b.ok) << b.message;
    for (std::size_t i = 0; i < 4; ++i) EXPECT_EQ(b.record.extension[i], c.extension[i]) << i;
    EXPECT_EQ(b.record.extensionLength, c.extensionLength);
    EXPECT_EQ(b.record.startBytes(), c.start);
    EXPECT_EQ(b.record.sizeOffset, c.sizeOffset);
    EXPECT_EQ(b.record.approxSize, c.approx);
  }
}

TEST(SignatureEditor, RefusesWhatDoesNotFitAndWritesNothing) {
  struct Case {
    const char* name;
    void (*change)(SignatureEditorFields&);
    const char* message;
  };
  const Case cases[] = {
      {"no extension", [](auto& f) { f.extension = ""; }, "extention length is zero.."},
      {"no signature", [](auto& f) { f.startSignature = ", ,"; }, "signature length is zero.."},
      {"11 start bytes", [](auto& f) { f.startSignature = "1,2,3,4,5,6,7,8,9,10,11"; }, "at most 10 bytes"},
      {"11 end bytes", [](auto& f) { f.endSignature = "1,2,3,4,5,6,7,8,9,10,11"; }, "at most 10 bytes"},
      {"50-character category", [](auto& f) { f.category = std::string(50, 'c'); }, "at most 49 characters"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScratchDir dir;
    SignatureEditorFields f = jpgFields();
    c.change(f);
    AppendResult r = appendSignatureRecord(dir.file("sig"), draftFromEditorFields(f));
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.fileProblem);
    EXPECT_NE(r.message.find(c.message), std::string::npos) << r.message;
    EXPECT_FALSE(std::filesystem::exists(dir.file("sig")));
  }
  SignatureEditorFields longest = jpgFields();
  longest.category = std::string(49, 'c');
  longest.startSignature = "1,2,3,4,5,6,7,8,9,10";
  BuiltRecord b = buildSignatureRecord(draftFromEditorFields(longest), 0);
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(b.record.categoryText(), std::string(49, 'c'));
  EXPECT_EQ(b.record.category[49], 0);
  EXPECT_EQ(b.record.startLength, 10);
}

TEST(SignatureFile, AppendsNumberRecordsAndRefuseFilesTheyWouldSpoil) {
  test::ScratchDir dir;
  const std::string sig = dir.file("sig");
  ASSERT_TRUE(appendSignatureRecord(sig, draftFromEditorFields(jpgFields())).ok);
  SignatureEditorFields png = jpgFields();
  png.extension = "png";
  AppendResult second = appendSignatureRecord(sig, draftFromEditorFields(png));
  ASSERT_TRUE(second.ok);
  EXPECT_EQ(second.recordNumber, 1u);
  SignatureFileLoad load = loadSignatureFile(sig, SignatureFileVariant::Chosen);
  ASSERT_EQ(load.records.size(), 2u);
  EXPECT_EQ(load.records[1].recordNumber, 1);
  EXPECT_EQ(load.records[1].extensionText(), "png");

  test::writeFile(dir.file("photo.jpg"), {0xFF, 0xD8, 0xFF, 0xE0});
  AppendResult onPhoto = appendSignatureRecord(dir.file("photo.jpg"), draftFromEditorFields(png));
  EXPECT_FALSE(onPhoto.ok);
  EXPECT_TRUE(onPhoto.fileProblem);
  EXPECT_EQ(test::readFile(dir.file("photo.jpg")), (Bytes{0xFF, 0xD8, 0xFF, 0xE0}));

  std::vector<SignatureRecord> full(256, buildSignatureRecord(draftFromEditorFields(png), 0).record);
  ASSERT_EQ(writeSignatureFile(dir.file("full"), full), "");
  ASSERT_EQ(loadSignatureFile(dir.file("full"), SignatureFileVariant::Chosen).records.size(), 256u);
  AppendResult onFull = appendSignatureRecord(dir.file("full"), draftFromEditorFields(png));
  EXPECT_FALSE(onFull.ok);
  EXPECT_EQ(std::filesystem::file_size(dir.file("full")), 256u * 171);
}

struct BadFile {
  const char* name;
  Bytes bytes;  // written unless absent
  bool absent;
  LoadStatus defaultStatus;
  LoadStatus chosenStatus;
  const char* chosenMessage;
};

TEST(SignatureFile, BadFilesLoadNothing) {
  HandRecord ok;
  ok.ext("jpg").start({0xFF, 0xD8, 0xFF}).number(0);
  auto numbered = [&](std::uint8_t n) { HandRecord r = ok; r.number(n); return r.b; };
  auto changed = [&](std::size_t at, std::uint8_t v) { Bytes b = ok.b; b[at] = v; return b; };
  Bytes big;
  for (int i = 0; i < 6200; ++i) {  // more than 1 MiB of records numbered as they go
    Bytes r = numbered(static_cast<std::uint8_t>(i));
    big.insert(big.end(), r.begin(), r.end());
  }
  const auto I = LoadStatus::Invalid, S = LoadStatus::Skipped, L = LoadStatus::Loaded;
  const BadFile cases[] = {
      {"absent", {}, true, S, I, "can not open file"},
      {"empty", {}, false, S, I, "not a valid file.."},
      {"shorter than a record", Bytes(170, 0), false, S, I, "not a valid file.."},
      {"longer than 1 MiB", big, false, I, I, "not a valid file.."},
      {"count above the records", concat({numbered(0), numbered(2)}), false, I, I, "not a valid file.."},
      {"count below the records", concat({numbered(0), numbered(0)}), false, I, I, "not a valid file.."},
      {"a part record after it", concat({ok.b, Bytes(20, 0)}), false, I, I, "not a valid file.."},
      {"start length 11", changed(0x1F, 11), false, I, I, "not a valid file.."},
      {"start length 0", changed(0x1F, 0), false, I, I, "not a valid file.."},
      {"end length 11", changed(0x20, 11), false, I, I, "not a valid file.."},
      // Only the file the user names must have a size field of at most 8 bytes.
      {"size bytes 9", changed(0x26, 9), false, L, I, "not a valid file.."},
  };
  for (const BadFile& c : cases) {
    SCOPED_TRACE(c.name);
    test::ScratchDir dir;
    if (!c.absent) test::writeFile(dir.file("sig"), c.bytes);
    SignatureFileLoad d = loadSignatureFile(dir.file("sig"), SignatureFileVariant::Default);
    EXPECT_EQ(d.status, c.defaultStatus);
    EXPECT_EQ(d.message, d.status == LoadStatus::Invalid ? "not a valid file.." : "");
    EXPECT_EQ(d.records.empty(), d.status != LoadStatus::Loaded);
    SignatureFileLoad ch = loadSignatureFile(dir.file("sig"), SignatureFileVariant::Chosen);
    EXPECT_EQ(ch.status, c.chosenStatus);
    EXPECT_EQ(ch.message, c.chosenMessage);
    EXPECT_TRUE(ch.records.empty());
  }
}

TEST(SignatureFile, ShippedDefaultsAreReadBackAsWritten) {
  test::ScratchDir dir;
  ASSERT_EQ(writeDefaultSignatureFile(dir.file(kDefaultSignatureFileName)), "");
  SignatureFileLoad load = loadSignatureFile(dir.file(kDefaultSignatureFileName), SignatureFileVariant::Default);
  ASSERT_EQ(load.status, LoadStatus::Loaded);
  const std::vector<SignatureDraft> drafts = defaultSignatureDrafts();
  ASSERT_EQ(load.records.size(), drafts.size());  // every row of the table fits a record
  std::vector<std::string> exts;
  for (std::size_t i = 0; i < drafts.size(); ++i) {
    const SignatureRecord& r = load.records[i];
    EXPECT_EQ(r.recordNumber, i);
    EXPECT_EQ(r.extensionText(), drafts[i].extension);
    EXPECT_EQ(r.startBytes(), drafts[i].startSignature);
    EXPECT_EQ(r.endBytes(), drafts[i].endSignature);
    EXPECT_EQ(r.approxSize, drafts[i].approxSize);
    EXPECT_GT(r.approxSize, 0) << drafts[i].extension << " needs a size to stop at";
    EXPECT_FALSE(r.categoryText().empty());
    exts.push_back(r.extensionText());
  }
  for (const char* e : {"jpg", "png", "gif", "bmp", "pdf", "zip", "rar", "7z", "mp3", "wav", "avi", "mp4", "db", "exe"})
    EXPECT_NE(std::find(exts.begin(), exts.end(), e), exts.end()) << e;
}

}  // namespace
}  // namespace quarnel
