#include "Converter.h"

#include <cstdio>

#include "MapConverter.h"
#include "Options.h"
#include "OutputFile.h"
#include "PanelConverter.h"
#include "PhaseCommand.h"
#include "ReadsConverter.h"
#include "VcfLigation.h"
#include "VcfWriter.h"
#include "WindowPlan.h"

int runConverter(int argc, char** argv) {
  const ConvertOptions options = parseOptions(argc, argv);
  protectInputs(inputFiles(options));
  switch (options.command) {
    case Command::kPanel:
      convertPanel(options);
      break;
    case Command::kMap:
      convertMap(options);
      break;
    case Command::kReads:
      convertReads(options);
      break;
    case Command::kVcf:
      convertToVcf(options);
      break;
    case Command::kPhase:
      runPhase(options);
      break;
    case Command::kLigate:
      ligateWindows(options);
      break;
    case Command::kWindows:
      writeWindowPlan(options);
      break;
  }
  std::fflush(stdout);
  return 0;
}
