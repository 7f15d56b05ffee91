// Every fixed text the launcher shows, in one place. Formats take their
// arguments as Print does: %ls for wide text, %s for narrow, %d for numbers.
#ifndef KVSOLVER_CONSOLE_MESSAGES_H_
#define KVSOLVER_CONSOLE_MESSAGES_H_

/// The banner's long and short rules, each a whole line.
#define KV_LONG_RULE \
  L"________________________________________________________________________________\n"
#define KV_SHORT_RULE \
  L"                     _______________________________________\n"

/// The program's name and version as the banner shows it.
#define KV_PROGRAM_LINE L"Korvelin Program Menu ( Version 9 R3 )"

/// The banner printed at the start of every cycle; takes the build date and
/// time, each right-aligned in 11 columns.
constexpr wchar_t kBannerFormat[] =
    KV_LONG_RULE
    L"\n"
    L"                   " KV_PROGRAM_LINE L"     \n"
    L"                                  Linux 64 Bit\n"
    KV_SHORT_RULE
    L"                             Build Date : %11ls\n"
    L"                             Build Time : %11ls\n"
    KV_SHORT_RULE
    L"\n"
    KV_LONG_RULE;

/// Convert stage outcomes.
constexpr wchar_t kConvertSuccessBanner[] =
    L"\n" KV_LONG_RULE
    L"                CONVERT-PROCESSING IS SUCCESSFULLY FINISHED\n"
    KV_LONG_RULE;
constexpr wchar_t kConvertFailureBanner[] =
    L"\n" KV_LONG_RULE
    L"                       CONVERT-PROCESSING IS FAILED\n"
    KV_LONG_RULE;

/// The report line that ends every run after start-up, and its text before
/// the value, which kvsolver-batch looks for in a run's output.
#define KV_REPORT_PREFIX " Return Value of KV Solver = "
constexpr wchar_t kReportLine[] = L"" KV_REPORT_PREFIX L"%d \n\n";
constexpr char kReportPrefix[] = KV_REPORT_PREFIX;

/// Start-up failures: the loader's own error text follows.
constexpr wchar_t kLoaderErrorHead[] = L"Error \n";
constexpr wchar_t kLoaderErrorText[] = L"%s\n";

/// kvsolver --help.
constexpr wchar_t kHelp[] =
    L"Usage: kvsolver [BASE | KMD-FILE BASE | --help | --version]\n"
    L"\n"
    L"  kvsolver BASE           run the auto-command file BASE.kcf, or BASE.acf\n"
    L"                          when there is no BASE.kcf\n"
    L"  kvsolver KMD-FILE BASE  run the model KMD-FILE with the solver script\n"
    L"                          BASE.kss\n"
    L"  kvsolver                a console dialogue, run after run, until you\n"
    L"                          type exit or stop\n"
    L"\n"
    L"Files:\n"
    L"  BASE.kcf, BASE.acf  auto-command file: the model file's name on the first\n"
    L"                      line, then the solver's commands up to a stop line\n"
    L"  BASE.kss            solver script: commands up to a stop line\n"
    L"  z_z_z_z_.___        the command stream, written in the working directory\n"
    L"\n"
    L"A run reports \" Return Value of KV Solver = N\" and exits with the low\n"
    L"eight bits of N. The manual page, man kvsolver, lists the values, the\n"
    L"environment and the rest.\n";

/// kvsolver --version; takes the version, the build date and the time.
constexpr wchar_t kVersionFormat[] =
    L"kvsolver %s\n"
    KV_PROGRAM_LINE L"\n"
    L"Build Date : %ls\n"
    L"Build Time : %ls\n";

/// Run loop failures of the launcher's own.
constexpr wchar_t kUsage[] =
    L" Usage: kvsolver [auto-command-base | KMD-file solver-script-base]\n";
constexpr wchar_t kModelNameHoldsLineEnd[] = L" The KMD file name holds a line end\n";
constexpr wchar_t kCannotCreateStream[] =
    L" Cannot create the command stream file z_z_z_z_.___\n";
constexpr wchar_t kCannotWriteStream[] =
    L" Cannot write the command stream file z_z_z_z_.___\n";
constexpr wchar_t kStreamInUse[] =
    L" The command stream file z_z_z_z_.___ is in use by another run\n";

/// Console dialogue prompts.
constexpr wchar_t kPromptCommandFile[] =
    L"\n ^^Enter the name of the Auto-Command File or EXIT or ENTER^^ \n";
constexpr wchar_t kPromptModelName[] = L"\n ^^Enter KMD filename or STOP^^ \n";

/// Echoes of what is read from command files, and their failures.
constexpr wchar_t kEchoCommand[] = L"COMMAND : %ls\n";
constexpr wchar_t kEchoModel[] = L"KMD : %ls\n";
constexpr wchar_t kNoCommandFile[] = L" There is no %ls file\n";
constexpr wchar_t kNoModelName[] = L" There is no KMD file name in %ls\n";

#undef KV_REPORT_PREFIX
#undef KV_PROGRAM_LINE
#undef KV_LONG_RULE
#undef KV_SHORT_RULE

#endif  // KVSOLVER_CONSOLE_MESSAGES_H_
