#include "launcher/product_folder.h"

#include "folders/install_paths.h"
#include "folders/working_folders.h"
#include "launcher/message_box.h"
#include "launcher/single_run.h"
#include "launcher/texts.h"

namespace launcher {

win32::PathText ReadyProductFolder(folders::InstallFolders& folders) {
  const folders::ProductFolderOutcome outcome = folders.Prepare();
  switch (outcome.result) {
    case folders::FolderResult::kReady:
      return outcome.folder;
    case folders::FolderResult::kSetupStillOpen:
      SayAlreadyRunning();
      break;
    case folders::FolderResult::kBaseMissing:
    case folders::FolderResult::kProductMissing:
      ShowMessage(folders::UnableToCreateMessage(outcome.folder.view()).view(), kSetupCaption, MB_OK);
      break;
    case folders::FolderResult::kNotOurs:
      ShowFailure("secure", outcome.folder.view(), outcome.error);
      break;
  }
  return {};
}

}  // namespace launcher
