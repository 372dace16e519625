#include "zip_builder.h"

#include <algorithm>

#include <zlib.h>

namespace {

void Put16(std::string* out, uint32_t v) {
  out->push_back(static_cast<char>(v & 0xFF));
  out->push_back(static_cast<char>((v >> 8) & 0xFF));
}

void Put32(std::string* out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

ZipEntry FolderEntry(const std::string& name) {
  ZipEntry e;
  e.name = name;
  e.method = 0;
  return e;
}

ZipEntry FileEntry(const std::string& name, const std::string& data) {
  ZipEntry e;
  e.name = name;
  e.data = data;
  return e;
}

std::string Deflate(const std::string& data) {
  z_stream s = {};
  deflateInit2(&s, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&s, data.size()) + 16, '\0');
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  s.avail_in = static_cast<uInt>(data.size());
  s.next_out = reinterpret_cast<Bytef*>(&out[0]);
  s.avail_out = static_cast<uInt>(out.size());
  deflate(&s, Z_FINISH);
  out.resize(s.total_out);
  deflateEnd(&s);
  return out;
}

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string BuildZip(const std::vector<ZipEntry>& entries, const ZipOptions& options) {
  std::string local;
  std::vector<std::string> records;  // central directory records, in entry order
  std::vector<uint32_t> offsets;
  for (const ZipEntry& e : entries) {
    std::string stored = e.raw_data ? *e.raw_data : (e.method == 8 ? Deflate(e.data) : e.data);
    const uint32_t crc = e.crc.value_or(Crc32(e.data));
    const uint32_t csize = e.compressed_size.value_or(static_cast<uint32_t>(stored.size()));
    const uint32_t usize = e.uncompressed_size.value_or(static_cast<uint32_t>(e.data.size()));
    const std::string& local_name = e.local_name ? *e.local_name : e.name;
    offsets.push_back(static_cast<uint32_t>(options.before.size() + local.size()));
    const uint32_t offset =
        e.local_header_of && *e.local_header_of < offsets.size() ? offsets[*e.local_header_of] : offsets.back();

    Put32(&local, 0x04034B50);
    Put16(&local, 20);
    Put16(&local, e.flag);
    Put16(&local, e.method);
    Put32(&local, e.dos_date_time);
    Put32(&local, crc);
    Put32(&local, csize);
    Put32(&local, usize);
    Put16(&local, static_cast<uint32_t>(local_name.size()));
    Put16(&local, 0);
    local += local_name;
    local += stored;

    std::string& central = records.emplace_back();
    Put32(&central, 0x02014B50);
    Put16(&central, 20);
    Put16(&central, 20);
    Put16(&central, e.flag);
    Put16(&central, e.method);
    Put32(&central, e.dos_date_time);
    Put32(&central, crc);
    Put32(&central, csize);
    Put32(&central, usize);
    Put16(&central, e.central_name_length.value_or(static_cast<uint16_t>(e.name.size())));
    Put16(&central, 0);  // extra
    Put16(&central, 0);  // comment
    Put16(&central, 0);  // disk
    Put16(&central, 0);  // internal attributes
    Put32(&central, e.name.empty() || e.name.back() != '/' ? 0x20 : 0x10);
    Put32(&central, offset);
    central += e.name;
  }
  if (options.reverse_central) std::reverse(records.begin(), records.end());
  std::string central;
  for (const std::string& record : records) central += record;
  const uint16_t count =
      options.declared_entries.value_or(static_cast<uint16_t>(entries.size()));
  std::string out = options.before + local + central;
  Put32(&out, 0x06054B50);
  Put16(&out, 0);
  Put16(&out, 0);
  Put16(&out, count);
  Put16(&out, count);
  Put32(&out, static_cast<uint32_t>(central.size()));
  Put32(&out, static_cast<uint32_t>(options.before.size() + local.size()));
  Put16(&out, 0);
  return out + options.after;
}
