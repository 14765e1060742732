#pragma once
// A small installation for the letter run's tests: a temporary root with its work
// folder, the session and the formatting settings of a Catalan office, record files
// built from CSV rows, templates written by the test, and the spool read back as lines.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace app_test {

// Expected spool lines.
std::string Number(long value);  // list format: " 12 ", "-3 "
std::string Text(long column, const std::string& text, long advance);
std::string Page(long lines);
std::string Command(const std::string& command);
std::string Justify(const std::string& code);
std::string Pad(const std::string& text, size_t width);

using Lines = std::vector<std::string>;
// Appends every line of `more`.
void Append(Lines& lines, const Lines& more);

class LetterFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates the record files under the root from CSV rows (without header rows; the
  // texts file stays empty) and opens them bound to the letter run's buffers.
  void InstallData(const std::string& properties, const std::string& owners,
                   const std::string& receipts);
  // Writes root/TEXTOS/<name>.txt: the lines (code page 850 bytes) ending in CR LF.
  void WriteTemplate(const std::string& name, const Lines& lines);
  // Opens the spool (device "TEST").
  void OpenSpool();
  // Starts over with a fresh spool: state back to its start, file opened anew.
  void ReopenSpool();
  // Closes the spool and returns its lines without their CR LF (each line must end
  // with one).
  Lines SpoolLines();
  // The field file's bytes ("" when missing).
  std::string FieldFileBytes();
  // Reads the owner (and its property) with the given numbers into the buffers.
  void ReadOwner(int property, int owner);

  testing_support::TempDir dir;
  std::string root;  // dir.path()
  std::string work;  // root + "TMP/"

 private:
  std::unique_ptr<testing_support::ScopedEnv> zurRoot_;
};

// The packed 4-byte code of an owner.
std::string OwnerCodeOf(int property, int owner);

}  // namespace app_test
