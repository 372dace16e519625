#include "hostile_archives.h"

#include "zip_builder.h"

namespace {

// An innocent file ahead of the hostile one, so that the table shows whether
// what came before was kept.
std::vector<ZipEntry> AfterOk(ZipEntry hostile) { return {FileEntry("ok.dll", "ok"), hostile}; }

HostileArchive Named(const std::string& id, const std::string& what, const std::string& name) {
  return {id, what, BuildZip(AfterOk(FileEntry(name, "evil"))), false};
}

}  // namespace

std::vector<HostileArchive> HostileArchives() {
  std::vector<HostileArchive> cases = {
      Named("dotdot", "name \"../evil.dll\"", "../evil.dll"),
      Named("dotdot_backslash", "name \"..\\\\evil.dll\"", "..\\evil.dll"),
      Named("dotdot_deep", "name \"a/b/../../../evil.dll\" (deep inside)", "a/b/../../../evil.dll"),
      Named("dotdot_mixed", "name \"a\\\\..\\\\..\\\\evil.dll\"", "a\\..\\..\\evil.dll"),
      Named("absolute", "absolute name \"/evil.dll\"", "/evil.dll"),
      Named("absolute_backslash", "absolute name \"\\\\evil.dll\"", "\\evil.dll"),
      Named("drive", "drive name \"C:\\\\evil.dll\"", "C:\\evil.dll"),
      Named("drive_relative", "drive-relative name \"C:evil.dll\"", "C:evil.dll"),
      Named("unc", "UNC name \"\\\\\\\\host\\\\share\\\\evil.dll\"", "\\\\host\\share\\evil.dll"),
      Named("device_prefix", "device prefix \"\\\\\\\\?\\\\C:\\\\evil.dll\"", "\\\\?\\C:\\evil.dll"),
      Named("stream", "alternate data stream \"a.dll:s\"", "a.dll:s"),
      Named("device_con", "device name \"CON\"", "CON"),
      Named("device_nul_ext", "device name with extension \"nul.txt\"", "nul.txt"),
      Named("device_blank", "device name with a trailing blank \"COM1 \"", "COM1 "),
      Named("trailing_dot", "trailing dot \"evil.\"", "evil."),
      Named("trailing_blank", "trailing blank \"evil.dll \"", "evil.dll "),
      Named("long_name", "a name of 520 bytes", std::string(520, 'n')),
  };

  {
    ZipEntry e = FileEntry("past.dll", "x");
    e.central_name_length = 0xFFFF;
    cases.push_back({"name_length_past_end", "name-length field that runs past the central directory",
                     BuildZip(AfterOk(e)), false});
  }
  {
    ZipEntry e = FileEntry("crc.dll", "contents");
    e.crc = 0x12345678;
    cases.push_back({"crc_mismatch", "CRC mismatch", BuildZip(AfterOk(e)), false});
  }
  {
    ZipEntry e = FileEntry("small.dll", std::string(5000, 's'));
    e.uncompressed_size = 100;
    cases.push_back({"declared_smaller", "declared size smaller than the data", BuildZip(AfterOk(e)), false});
  }
  {
    ZipEntry e = FileEntry("large.dll", "only this");
    e.uncompressed_size = 100000;
    cases.push_back({"declared_larger", "declared size larger than the data", BuildZip(AfterOk(e)), false});
  }
  {
    const std::string whole = BuildZip(AfterOk(FileEntry("cut.dll", std::string(20000, 'c') + "end")));
    cases.push_back({"cut_in_data", "archive cut inside an entry's data", whole.substr(0, 60 + 40), false});
  }
  {
    // A size that, added to where the data begins, would pass 32 bits.
    ZipEntry e = FileEntry("past.dat", "data");
    e.compressed_size = 0xFFFFFFF0u;
    cases.push_back({"data_past_end", "declared compressed size running past the end of the archive",
                     BuildZip(AfterOk(e)), false});
  }
  {
    ZipEntry e = FileEntry("corrupt.dll", std::string(3000, 'd'));
    e.raw_data = std::string("\xff\xff\xff\xff garbage that is no deflate stream", 36);
    cases.push_back({"corrupt_deflate", "corrupt deflate stream", BuildZip(AfterOk(e)), false});
  }
  {
    ZipEntry e = FileEntry("central.dll", "x");
    e.local_name = "../local.dll";
    cases.push_back({"local_disagrees", "local header names another file than the central directory",
                     BuildZip(AfterOk(e)), false});
  }
  {
    ZipEntry e = FileEntry("bzip.dll", "not really bzip2");
    e.method = 12;
    cases.push_back({"unsupported_method", "unsupported compression method (12)", BuildZip(AfterOk(e)), false});
  }
  {
    ZipEntry e = FileEntry("secret.dll", "plain anyway");
    e.flag = 3;
    cases.push_back({"encrypted", "encrypted entry", BuildZip(AfterOk(e)), false});
  }
  {
    // Many central records over one local header: the overlapped-components bomb.
    const std::string big(1 << 20, 'z');
    std::vector<ZipEntry> entries = {FileEntry("bomb0.dat", big)};
    for (int i = 1; i < 20; ++i) {
      ZipEntry e = FileEntry("bomb" + std::to_string(i) + ".dat", big);
      e.local_header_of = 0;
      e.raw_data = std::string();  // no data of its own
      e.compressed_size = static_cast<uint32_t>(Deflate(big).size());
      entries.push_back(e);
    }
    cases.push_back({"overlapping", "20 central records sharing one local header (overlap bomb)",
                     BuildZip(entries), false});
  }
  {
    ZipOptions lying;
    lying.declared_entries = 65535;
    cases.push_back({"count_beyond", "entry count of 65535 in a two-entry archive",
                     BuildZip({FileEntry("ok.dll", "ok"), FileEntry("b.dll", "b")}, lying), false});
  }
  cases.push_back({"zero_entries", "zero entries", BuildZip({}), true});
  cases.push_back({"not_an_archive", "a file that is not an archive", std::string(4000, 'N'), false});
  cases.push_back({"duplicate_names", "the same name twice (the second wins)",
                   BuildZip({FileEntry("dup.dll", "first"), FileEntry("dup.dll", "second")}), true,
                   true});
  cases.push_back({"file_then_folder", "a file and then a folder of the same name",
                   BuildZip({FileEntry("same", "file"), FolderEntry("same/"), FileEntry("same/in.dll", "x")}),
                   false});
  cases.push_back({"folder_then_file", "a folder and then a file of the same name",
                   BuildZip({FolderEntry("same/"), FileEntry("same", "file")}), false});
  {
    ZipOptions padded;
    padded.after = std::string(1000, 'A');
    cases.push_back({"bytes_after", "bytes after the end of the archive",
                     BuildZip({FileEntry("a.dll", "alpha"), FileEntry("b.dll", "beta")}, padded), true});
  }
  {
    ZipOptions padded;
    padded.before = std::string(4096, 'M');
    cases.push_back({"bytes_before", "bytes before its start (as in a self-extractor)",
                     BuildZip({FileEntry("a.dll", "alpha"), FileEntry("b.dll", "beta")}, padded), true});
  }
  {
    ZipEntry e = FolderEntry("data/");
    e.data = "a folder entry with data";
    e.method = 0;
    cases.push_back({"folder_with_data", "a folder entry that carries data",
                     BuildZip({e, FileEntry("data/in.dll", "in")}), true});
  }
  return cases;
}
