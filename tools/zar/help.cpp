#include "help.h"

namespace zar::cli {
namespace {

constexpr const char kOverview[] = R"(usage: zar VERB [OPTIONS] ARCHIVE [NAMES...]
       zar VERB --help, or zar help VERB
       zar --help | --version

zar creates, lists, tests, extracts and edits ZIP archives. It also lists TAR,
gzip-compressed TAR, LZH, ARJ, ZOO and ARC archives, and extracts the members
of TAR and gzip files.

Verbs (short forms after the comma):
  list, l        the entries with sizes, ratio, method, date, attributes and
                 comments; the archive comment and totals
  test, t        decode every entry and check its CRC, writing nothing
  extract, x     extract entries into the current directory or -d DIR
  add, a         add files and directory trees; same-named entries are replaced
  update, u      add new files, replace entries whose file is newer
  freshen, f     replace entries whose file is newer, add nothing new
  move, m        add like add, then delete the files that went in
  delete, d      delete entries
  rename, rn     move entries from one stored directory to another
  comment, c     show or set the archive comment or entry comments
  identify, id   tell what kind of archive a file is
  uuencode, uue  turn a file into uuencoded text, in one file or in parts
  uudecode, uud  turn uuencoded text back into its file
  to-dos, unix2dos   line ends of a text file to CR LF
  to-unix, dos2unix  line ends of a text file to LF

Examples:
  zar add backup.zip docs notes.txt   a directory tree and a file
  zar list backup.zip                 what is inside
  zar test backup.zip                 check every entry
  zar extract -d out backup.zip       everything into out/
  zar extract backup.zip 'docs/*.txt' some entries only
  zar extract -c backup.zip a.txt     an entry's bytes to standard output
  zar add logs.zip - --name today.log standard input as an entry
  zar rename backup.zip docs manual   docs/... becomes manual/...

Entry names use '/'. Patterns that select entries match without regard to
case; '*' matches any run of characters ('/' included) and '?' one character.
A pattern without a directory and with a wildcard, such as '*.txt', matches
in every directory; quote patterns so that the shell leaves them alone.
There are no character classes: '[' and ']' match themselves, so that
'photo[1].jpg' selects the file of that name, as the library's patterns have
always meant; give '[abc]*.txt' as 'a*.txt' 'b*.txt' 'c*.txt' instead.

Archive names without an extension get ".zip" when zar writes them; to read,
zar tries the name as given, then with ".zip".

While zar works, stderr shows a progress bar for the entry in hand and for
the whole run when stderr is a terminal (never otherwise). Problems with
single entries are printed to stderr as they happen. When an existing file
would be overwritten and no policy was chosen, zar asks on the terminal:
[y]es, [n]o, [A]ll (this and every later one), [N]one (keep this and every
later one) or [c]ancel; with no terminal the file is kept. An encrypted entry
met without a password makes zar ask for one on the terminal, once, before
the run starts; with no terminal zar says that a password is needed.
Ctrl-C cancels: the run stops at the library's next check and an archive
being written is left exactly as it was (a second Ctrl-C stops zar at once).

Exit status:
  0    success
  1    some entries had problems: passed over (an unknown method, a wrong
       or missing password) or suspect (a CRC mismatch), or some named
       files were not found; each was named on stderr
  2    bad usage: unknown verb or option, a missing argument, or an option
       string the library refused (-9, -19, -20, -22)
  3    nothing matched: no entry or file was selected (-7)
  4    any other failure
  130  cancelled: Ctrl-C, or a question answered Cancel (-4)
A failure in the library prints its result code and what it means on stderr.

Run 'zar VERB --help' for the options of each verb.
)";

constexpr const char kList[] = R"(usage: zar list [OPTIONS] ARCHIVE [PATTERN...]

Shows the entries of ARCHIVE, or those that the patterns select: length,
packed size, ratio (space saved), method, date and time, attributes and name,
with each entry comment on the line below; then the totals. The archive
comment comes first. A '*' after the method marks an encrypted entry.
Attributes are the DOS letters D (directory), V (volume label), R (read-only),
H (hidden), S (system) and A (archive); entries made on other systems carry
none that the library reads, and show D for a directory and - otherwise.
Besides ZIP archives, zar lists TAR, gzip-compressed TAR, LZH, ARJ, ZOO and
ARC archives. For a gzip-compressed TAR (x.tar.gz, x.tgz) zar shows the
files of the TAR inside, which it decompresses into a temporary file under
$TMPDIR (else /tmp) that is removed afterwards; test and extract do the same.

Options:
  -1, --names               only the names, one a line
  -x, --exclude PATTERN     leave out entries that PATTERN matches (repeatable)
  -h, --help                this text
)";

constexpr const char kTest[] = R"(usage: zar test [OPTIONS] ARCHIVE [PATTERN...]

Decodes every entry (or those that the patterns select) and checks its CRC,
writing nothing. Each problem is printed as it is found, for example
"zar: notes.txt: CRC mismatch. File may have error."; the exit status is 1
when any entry had one.

Options:
  -p, --password PASSWORD   the password of encrypted entries
      --ask-password        read the password from the terminal (or the
                            first line of stdin when it is not a terminal)
  -x, --exclude PATTERN     leave out entries that PATTERN matches (repeatable)
  -v, --verbose             name each entry as it is tested
  -q, --quiet               print nothing but problems
      --no-progress         no progress bar, even on a terminal
      --options "RAW"       library unzip options appended to the ones zar
                            composes
  -h, --help                this text
)";

constexpr const char kExtract[] = R"(usage: zar extract [OPTIONS] ARCHIVE [PATTERN...]
       zar extract --stdout [OPTIONS] ARCHIVE [PATTERN...]

Extracts every entry (or those that the patterns select) into the current
directory or into -d DIR, recreating the stored directories. File times and
the read-only attribute are restored. Stored names never lead outside the
output directory.

With -c (--stdout), the bytes of the selected files go to standard output
instead, one entry after the other in the archive's order, and nothing is
written to disk: zar extract -c backup.zip notes.txt | less. Entries are
decoded a piece at a time, so memory stays small however large they are;
each entry's CRC is checked at its end, and a damaged entry is reported on
stderr (exit status 1).

A file that exists already is asked about on the terminal ("out/a.txt: file
already exists. Overwrite it? [y]es, [n]o, [A]ll, [N]one, [c]ancel"): All
overwrites it and every later one without asking again, None keeps it and
every later one. Without a terminal it is kept. These choose instead:
  -o, --overwrite       overwrite existing files, read-only ones too
  -n, --skip-existing   never overwrite
      --freshen         only replace existing files older than their entry;
                        create nothing new
      --update          replace older files and create missing ones

Options:
  -c, --stdout              write the entries' bytes to standard output
  -d, --dir DIR             extract into DIR (made when missing)
  -j, --flat                put every file straight into the output
                            directory, leaving the stored directories out
  -p, --password PASSWORD   the password of encrypted entries
      --ask-password        read the password from the terminal (or the
                            first line of stdin when it is not a terminal)
  -x, --exclude PATTERN     leave out entries that PATTERN matches (repeatable)
  -v, --verbose             name each file as it is extracted
  -q, --quiet               print nothing but problems
      --no-progress         no progress bar, even on a terminal
      --options "RAW"       library unzip options appended to the ones zar
                            composes (for example "-JR": do not restore
                            read-only attributes)
  -h, --help                this text
)";

constexpr const char kWrite[] = R"(usage: zar add [OPTIONS] ARCHIVE PATH...
       zar update [OPTIONS] ARCHIVE PATH...
       zar freshen [OPTIONS] ARCHIVE PATH...
       zar move [OPTIONS] ARCHIVE PATH...

add puts files into ARCHIVE (made when missing) and replaces entries of the
same name. update adds new files and replaces an entry only when its file is
newer; freshen only replaces entries whose file is newer and adds nothing;
move adds like add and then deletes the files that went in, and the
directories that this leaves empty.

A PATH that names a directory brings in the whole tree below it. Entries are
named by the paths as given ("docs/a.txt"), without a leading "/" or "./"; a
path with ".." is refused (use -C or --flat instead). A quoted wildcard such
as '*.txt' is matched in the directory it names, and with -r in every
directory below it as well. Hidden files (names starting with '.') are
included unless --no-hidden is given. Symbolic links are followed: a link to
a file brings in the file, a link to a directory its tree, unless it leads
back into the folders being added; such a link, and one that leads nowhere,
is named and left out, and zar then exits with status 1.

The PATH "-" is standard input, read to its end and stored as the entry that
--name gives ("-" without it), exactly under that name: for example
pg_dump db | zar add backups.zip - --name db.sql. It can stand beside other
PATHs; the level, the password and --interactive apply to it as to files.

The archive is written beside itself and takes the old one's place only when
everything went well: a failure or Ctrl-C leaves it as it was.

With --volume-size, add writes a new set over several volumes instead, each
at most that size: on the disks of a removable drive one file of the
archive's name on every disk (labelled "PKBACK# 001", ...; zar asks on the
terminal for each disk), elsewhere numbered files NAME.001, NAME.002, ...
zar list, test and extract read such sets by the first file's name. A set is
written once, afresh: an existing archive of that name is refused.

Options:
  -0 ... -9, --level N      compression, as zip counts it: 0 stores, 9
                            packs best. The library has five settings:
                            0 store; 1-2 fastest; 3-5 fast; 6-7 normal
                            (the default, as zip's 6); 8-9 best
  -r, --recurse             look for the named files and patterns in every
                            directory below theirs as well
  -j, --flat                store names without their directories
  -C, --cd DIR              change into DIR first, so that names are stored
                            relative to it (the archive name is not affected)
  -x, --exclude PATTERN     leave out files that PATTERN matches
                            (repeatable; without a directory it matches in
                            every directory, as in -x '*.o')
  -p, --password PASSWORD   encrypt with the traditional ZIP encryption
      --ask-password        read the password from the terminal, twice (or
                            the first line of stdin when it is not a terminal)
  -i, --interactive         ask before replacing an entry that exists
      --volume-size SIZE    write a set of volumes of SIZE each (1440k,
                            100m; k, m and g count kilobytes and more)
      --volume-kind KIND    spanned or directory-first (disks), numbered
                            (NAME.001, ...) or single-file (one NAME.001)
      --name NAME           the entry name of standard input ("-"), such
                            as "logs/today.txt"
      --no-hidden           leave out hidden files
      --latest-time         give the archive the time of its newest entry;
                            without PATHs, only that
      --keep-time           give the archive back the time it had
  -v, --verbose             name each entry added, changed or deleted
  -q, --quiet               print nothing but problems
      --no-progress         no progress bar, even on a terminal
      --options "RAW"       library zip options appended to the ones zar
                            composes (for example "-JR" to leave the
                            read-only attribute out, or "-TA" to take only
                            files changed today)
  -h, --help                this text
)";

constexpr const char kDelete[] = R"(usage: zar delete [OPTIONS] ARCHIVE PATTERN...

Deletes the entries that the patterns select. A pattern with a wildcard also
matches below its directory: 'logs/*' deletes the tree under logs/. The
archive is rebuilt beside itself and replaced only when all went well.

Options:
  -x, --exclude PATTERN     spare entries that PATTERN matches (repeatable)
      --latest-time         give the archive the time of its newest entry
      --keep-time           give the archive back the time it had
  -v, --verbose             name each entry deleted
  -q, --quiet               print nothing but problems
      --options "RAW"       library zip options appended to the ones zar
                            composes
  -h, --help                this text
)";

constexpr const char kRename[] = R"(usage: zar rename [OPTIONS] ARCHIVE OLD-DIR NEW-DIR

Moves every entry stored under the directory OLD-DIR to NEW-DIR: the names
begin with NEW-DIR instead, in the local headers and the central directory
alike, while every entry's data, CRC, times, attributes, extra fields and
comment stay as they are. zar rename backup.zip docs manual/pages makes
"docs/a.txt" "manual/pages/a.txt" and leaves "docsold/b.txt" alone. An empty
OLD-DIR ("") puts NEW-DIR in front of every name; an empty NEW-DIR takes
OLD-DIR off. Names compare exactly, letter case included.

The archive is rewritten beside itself and takes the old one's place only
when everything went well: a failure, a name that would grow past 260
characters, or Ctrl-C leaves it as it was. The exit status is 3 when no name
begins with OLD-DIR.

Options:
      --output FILE     write the renamed archive to FILE (replaced only
                        when all went well) and leave ARCHIVE as it is
  -v, --verbose         name each entry renamed, old and new
  -q, --quiet           print nothing but problems
  -h, --help            this text
)";

constexpr const char kUuEncode[] = R"(usage: zar uuencode [OPTIONS] FILE

Writes FILE as uuencoded text, which survives text-only channels: a "begin"
line, lines of 45 bytes as printable characters, "end", and the file's size.
The text goes to FILE's name with ".uue" for its extension, or to -o OUTPUT.
With --part-size, text longer than that is split into numbered parts
(name.1, name.2, ...), each smaller than the size and holding whole lines;
zar uudecode name.1 reads them all back. Files are written whole or not at
all: a failure leaves what was there.

Options:
  -o, --output FILE     the text's file (its extension is replaced by the
                        part numbers when the text is split)
      --part-size SIZE  split into parts smaller than SIZE (2k and more;
                        k, m and g count kilobytes, megabytes, gigabytes)
      --cut-lines       frame the text with "CUT HERE" lines
  -q, --quiet           print nothing but problems
  -h, --help            this text
)";

constexpr const char kUuDecode[] = R"(usage: zar uudecode [OPTIONS] TEXT...

Turns uuencoded text back into the file its "begin" line names, from this or
any other uuencoder. The file is written in the text's directory or -d DIR,
under the last part of the name only: no text can place a file elsewhere.
For numbered parts, give the first (name.1): zar reads name.2, name.3, ...
until the data ends. A name without an extension is read as name.uue. The
file is replaced only when the whole text decoded.

Options:
  -d, --dir DIR         where the decoded file goes
  -q, --quiet           print nothing but problems
  -h, --help            this text
)";

constexpr const char kToDos[] = R"(usage: zar to-dos [OPTIONS] FILE

Turns every LF of a text file into CR LF, as DOS and Windows end lines; a CR
LF already there becomes CR CR LF, as each LF is converted. FILE is
converted in place, or written to -o OUTPUT; either is replaced only when
the whole file converted.

Options:
  -o, --output FILE     write the converted text to FILE, leave FILE alone
      --end-mark        end the text with a Ctrl-Z byte, as old DOS tools did
  -q, --quiet           print nothing but problems
  -h, --help            this text
)";

constexpr const char kToUnix[] = R"(usage: zar to-unix [OPTIONS] FILE

Turns CR LF and lone CRs into LF, the line end of Linux and Unix, and drops
everything from a Ctrl-Z byte on. FILE is converted in place, or written to
-o OUTPUT; either is replaced only when the whole file converted.

Options:
  -o, --output FILE     write the converted text to FILE, leave FILE alone
  -q, --quiet           print nothing but problems
  -h, --help            this text
)";

constexpr const char kComment[] = R"(usage: zar comment [OPTIONS] ARCHIVE [TEXT]

Without TEXT, --file or --clear, shows the archive comment, or with -e the
comments of the entries that the patterns match. Otherwise sets the archive
comment, or with -e the comment of every entry that a pattern matches.

An entry pattern matches in its own directory only: '*.txt' names entries at
the top, 'docs/*.txt' those in docs/.

Options:
  -e, --entry PATTERN   work on entry comments (repeatable)
  -F, --file FILE       take the comment from FILE ('-': stdin); line ends
                        at its end are dropped
      --clear           remove the comment
  -h, --help            this text
)";

constexpr const char kIdentify[] = R"(usage: zar identify FILE...

Prints the kind of archive each FILE is: ZIP, a spanned or multi-volume ZIP
set, a self-extracting program with a ZIP archive inside, TAR, gzip, LZH, ARJ,
ZOO, ARC or the library's own older kinds. A file of no known kind, or one
that cannot be read, is reported on stderr, and the exit status is 4.

Options:
  -h, --help    this text
)";

}  // namespace

const char* helpText(Verb verb) {
    switch (verb) {
        case Verb::List: return kList;
        case Verb::Test: return kTest;
        case Verb::Extract: return kExtract;
        case Verb::Add:
        case Verb::Update:
        case Verb::Freshen:
        case Verb::Move: return kWrite;
        case Verb::Delete: return kDelete;
        case Verb::Comment: return kComment;
        case Verb::Identify: return kIdentify;
        case Verb::Rename: return kRename;
        case Verb::UuEncode: return kUuEncode;
        case Verb::UuDecode: return kUuDecode;
        case Verb::ToDos: return kToDos;
        case Verb::ToUnix: return kToUnix;
        case Verb::None: break;
    }
    return kOverview;
}

}  // namespace zar::cli
