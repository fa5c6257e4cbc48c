#include "VcfWriter.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <set>

#include "HtsHandles.h"
#include "OutputFile.h"
#include "PhaseSets.h"
#include "VeltaIO.h"

namespace {

bool isBase(char c) {
  const char b = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return b == 'A' || b == 'C' || b == 'G' || b == 'T';
}

// A VCF needs bases as alleles, and an index needs each chromosome's records
// together and in position order.
void checkMapForVcf(const SnpMap& map, const std::string& path) {
  std::set<std::string> finished;
  for (std::size_t k = 0; k < map.size(); ++k) {
    if (!isBase(map.major[k]) || !isBase(map.minor[k]) ||
        std::toupper(map.major[k]) == std::toupper(map.minor[k])) {
      veltaFatal(
          "SNP map %s line %zu: alleles %c and %c; a VCF needs two different bases "
          "A, C, G or T",
          path.c_str(), k + 1, map.major[k], map.minor[k]);
    }
    if (k == 0) continue;
    if (map.chrom[k] != map.chrom[k - 1]) {
      finished.insert(map.chrom[k - 1]);
      if (finished.count(map.chrom[k])) {
        veltaFatal(
            "SNP map %s line %zu: chromosome %s comes back after others; a VCF needs "
            "each chromosome's SNPs together",
            path.c_str(), k + 1, map.chrom[k].c_str());
      }
    } else if (map.position[k] < map.position[k - 1]) {
      veltaFatal(
          "SNP map %s line %zu: position %u comes after %u; a VCF needs positions in "
          "order",
          path.c_str(), k + 1, map.position[k], map.position[k - 1]);
    }
  }
}

void checkSampleName(const std::string& name) {
  for (char c : name) {
    if (std::isspace(static_cast<unsigned char>(c))) {
      veltaFatal("--sample '%s': a VCF sample name cannot hold white space", name.c_str());
    }
  }
}

std::uint8_t alleleCode(char c, const SnpMap& map, std::size_t k, const std::string& path,
                        std::size_t lineNo) {
  if (c == map.major[k]) return 0;
  if (c == map.minor[k]) return 1;
  veltaFatal(
      "haplotype file %s line %zu: allele %c is neither %c nor %c, the alleles of SNP "
      "%zu of the map",
      path.c_str(), lineNo, c, map.major[k], map.minor[k], k + 1);
}

std::vector<bool> heterozygousSnps(const PhasedGenotypes& genotypes) {
  std::vector<bool> heterozygous(genotypes.first.size());
  for (std::size_t k = 0; k < heterozygous.size(); ++k) {
    heterozygous[k] = genotypes.first[k] != genotypes.second[k];
  }
  return heterozygous;
}

BcfHeaderPtr makeHeader(const SnpMap& map, const std::string& sample, bool withPhaseSets) {
  BcfHeaderPtr header(bcf_hdr_init("w"));
  bcf_hdr_append(header.get(), "##source=velta-convert");
  for (std::size_t k = 0; k < map.size(); ++k) {
    if (k == 0 || map.chrom[k] != map.chrom[k - 1]) {
      bcf_hdr_printf(header.get(), "##contig=<ID=%s>", map.chrom[k].c_str());
    }
  }
  bcf_hdr_append(header.get(), "##FORMAT=<ID=GT,Number=1,Type=String,Description=\"Genotype\">");
  if (withPhaseSets) {
    bcf_hdr_append(header.get(),
                   "##FORMAT=<ID=PS,Number=1,Type=Integer,Description=\"Phase set: position of "
                   "the first SNP of the group that reads connect\">");
  }
  if (bcf_hdr_add_sample(header.get(), sample.c_str()) != 0 || bcf_hdr_sync(header.get()) != 0) {
    veltaFatal("cannot make a VCF header for sample %s", sample.c_str());
  }
  return header;
}

struct PhaseCounts {
  std::uint64_t heterozygous = 0;
  std::uint64_t phased = 0;
  std::uint64_t sets = 0;
};

class PhasedVcf {
 public:
  PhasedVcf(const ConvertOptions& options, const SnpMap& map, const PhasedGenotypes& genotypes)
      : options_(options), map_(map), genotypes_(genotypes), sets_(map.size()) {}

  void linkByReads();
  void write(const std::string& partPath);
  void printSummary() const;

 private:
  void writeRecord(std::size_t k, htsFile* file, bcf_hdr_t* header, bcf1_t* record);

  const ConvertOptions& options_;
  const SnpMap& map_;
  const PhasedGenotypes& genotypes_;
  SnpLinks sets_;
  PhaseCounts counts_;
};

void PhasedVcf::linkByReads() {
  std::ifstream in(options_.reads);
  if (!in) veltaFatal("cannot open the read file %s", options_.reads.c_str());
  linkSnpsByReads(in, options_.reads, map_, heterozygousSnps(genotypes_), sets_);
}

void PhasedVcf::write(const std::string& partPath) {
  const bool withPhaseSets = !options_.reads.empty();
  BcfHeaderPtr header = makeHeader(map_, options_.sample, withPhaseSets);
  HtsFilePtr file(hts_open(partPath.c_str(), outputKindOf(options_.out).mode));
  if (!file) veltaFatal("cannot create %s", partPath.c_str());
  if (bcf_hdr_write(file.get(), header.get()) != 0) {
    veltaFatal("cannot write %s", partPath.c_str());
  }
  BcfRecordPtr record(bcf_init());
  for (std::size_t k = 0; k < map_.size(); ++k) {
    writeRecord(k, file.get(), header.get(), record.get());
  }
  if (hts_close(file.release()) != 0) {
    veltaFatal("cannot write %s: %s", partPath.c_str(),
               errno != 0 ? std::strerror(errno) : "write error (disk full?)");
  }
}

void PhasedVcf::writeRecord(std::size_t k, htsFile* file, bcf_hdr_t* header, bcf1_t* record) {
  const std::uint32_t snp = static_cast<std::uint32_t>(k);
  const int first = genotypes_.first[k];
  const int second = genotypes_.second[k];
  const bool heterozygous = first != second;
  const bool withPhaseSets = !options_.reads.empty();
  const bool phased = !withPhaseSets || (heterozygous && sets_.isLinked(snp));
  counts_.heterozygous += heterozygous;
  counts_.phased += heterozygous && phased;
  bcf_clear(record);
  record->rid = bcf_hdr_name2id(header, map_.chrom[k].c_str());
  record->pos = static_cast<hts_pos_t>(map_.position[k]) - 1;
  const std::string chromPos = map_.chrom[k] + ':' + std::to_string(map_.position[k]);
  bcf_update_id(header, record, map_.name[k] == chromPos ? "." : map_.name[k].c_str());
  const char alleles[4] = {map_.major[k], ',', map_.minor[k], '\0'};
  bcf_update_alleles_str(header, record, alleles);
  std::int32_t gt[2];
  if (phased) {
    gt[0] = bcf_gt_unphased(first);
    gt[1] = bcf_gt_phased(second);
  } else {  // unphased genotypes are written in allele order: 0/1, never 1/0
    gt[0] = bcf_gt_unphased(std::min(first, second));
    gt[1] = bcf_gt_unphased(std::max(first, second));
  }
  bcf_update_genotypes(header, record, gt, 2);
  if (withPhaseSets && heterozygous && phased) {
    const std::uint32_t firstSnp = sets_.firstOfBlock(snp);
    counts_.sets += firstSnp == snp;
    const std::int32_t phaseSet = static_cast<std::int32_t>(map_.position[firstSnp]);
    bcf_update_format_int32(header, record, "PS", &phaseSet, 1);
  }
  if (bcf_write(file, header, record) != 0) {
    veltaFatal("cannot write the record of SNP %zu (%s) to %s", k + 1, chromPos.c_str(),
               options_.out.c_str());
  }
}

void PhasedVcf::printSummary() const {
  std::printf("vcf %s, sample %s: %zu SNPs, %" PRIu64 " heterozygous", options_.out.c_str(),
              options_.sample.c_str(), map_.size(), counts_.heterozygous);
  if (!options_.reads.empty()) {
    std::printf(": %" PRIu64 " phased in %" PRIu64 " phase sets, %" PRIu64
                " unphased (no read links them)",
                counts_.phased, counts_.sets, counts_.heterozygous - counts_.phased);
  }
  std::printf("\n");
}

bool endsWith(const std::string& text, const char* suffix) {
  const std::string tail(suffix);
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

OutputKind outputKindOf(const std::string& path) {
  if (endsWith(path, ".gz")) return {"wz", 0};
  if (endsWith(path, ".bcf")) return {"wb", 14};
  return {"w", -1};
}

// Builds the index of the finished data beside them, unless they went to a
// device or a pipe that cannot be read back.
void buildIndex(OutputFile& out, int indexShift) {
  if (indexShift < 0) return;
  if (out.inPlace()) {
    std::printf("  %s is not a regular file: no index written\n", out.path().c_str());
    return;
  }
  const std::string& index = out.addIndex(indexShift == 0 ? ".tbi" : ".csi");
  if (bcf_index_build3(out.writePath().c_str(), index.c_str(), indexShift, 0) != 0) {
    veltaFatal("cannot build the index %s of %s", index.c_str(), out.path().c_str());
  }
}

PhasedGenotypes loadHaplotypes(const std::string& path, const SnpMap& map) {
  std::ifstream in(path);
  if (!in) veltaFatal("cannot open the haplotype file %s", path.c_str());
  PhasedGenotypes genotypes;
  std::string text;
  std::size_t lineNo = 0;
  while (std::getline(in, text)) {
    ++lineNo;
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (lineNo > map.size()) {
      veltaFatal("haplotype file %s has more lines than the map's %zu SNPs", path.c_str(),
                 map.size());
    }
    if (text.size() != 2) {
      veltaFatal("haplotype file %s line %zu: expected two allele characters, found '%.40s'",
                 path.c_str(), lineNo, text.c_str());
    }
    genotypes.first.push_back(alleleCode(text[0], map, lineNo - 1, path, lineNo));
    genotypes.second.push_back(alleleCode(text[1], map, lineNo - 1, path, lineNo));
  }
  if (lineNo < map.size()) {
    veltaFatal("haplotype file %s has %zu lines, the map %zu SNPs: expected one line per SNP",
               path.c_str(), lineNo, map.size());
  }
  return genotypes;
}

void convertToVcf(const ConvertOptions& options) {
  checkSampleName(options.sample);
  OutputFile out(options.out, OutputFile::Writer::kByName);
  const SnpMap map = loadSnpMap(options.map);
  checkMapForVcf(map, options.map);
  const PhasedGenotypes genotypes = loadHaplotypes(options.haplotypes, map);
  PhasedVcf vcf(options, map, genotypes);
  if (!options.reads.empty()) vcf.linkByReads();
  vcf.write(out.writePath());
  buildIndex(out, outputKindOf(options.out).indexShift);
  out.commit();
  vcf.printSummary();
}
