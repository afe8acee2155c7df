# The test sources a Windows build leaves out, relative to tests/: those that
# test the POSIX backend itself (modes, extended attributes, links, O_TMPFILE,
# the terminal), that run Linux-only tools (unzip, 7z, bsdtar, zip, Python,
# arj, lha …) as subprocesses, or that stand in for Windows services through
# POSIX means (TMPDIR, TZ, ZARLIB_REMOVABLE, fork). Windows has its own tests
# of those services in windows/.
set(zar_posix_only_sources
  platform/posix_test.cpp
  platform/anonymous_test.cpp
  platform/search_test.cpp
  interop/extract_interop_test.cpp
  interop/rewrite_interop_test.cpp
  interop/linux_entries_interop_test.cpp
  interop/spanned_sets_test.cpp
  interop/multivolume_roundtrip_test.cpp
  tools/zar_cli_test.cpp
  tools/zar_read_test.cpp
  tools/zar_write_test.cpp
  tools/zar_interop_test.cpp
  write/orphans_test.cpp
  archive/open_close_posix_test.cpp
  archive/directory_posix_test.cpp
  archive/workfile_tar_posix_test.cpp
  archive/workfile_gzip_posix_test.cpp
  archive/workfile_lzh_posix_test.cpp
  archive/workfile_arj_posix_test.cpp
  archive/workfile_arc_posix_test.cpp
  fs/dir_walk_test.cpp
  frame/local_time_test.cpp
  util/dos_time_test.cpp
  util/text_files_test.cpp
  extract/memory_extract_posix_test.cpp
  extract/password_posix_test.cpp
  extract/unzip_posix_test.cpp
  extract/volume_sets_test.cpp
  extract/spanned_volumes_test.cpp
  write/entry_writer_posix_test.cpp
  write/zip_run_posix_test.cpp
  write/comments_posix_test.cpp
  write/zip_from_memory_posix_test.cpp
  write/change_paths_posix_test.cpp
  span/volumes_test.cpp
  interop/volume_sets_interop_test.cpp
  interop/zip64_test.cpp
  write/volume_sets_test.cpp
  write/stable_bytes_test.cpp
)
# Sources whose expectations are the POSIX backend's own: stored names read
# as code page 437 turned into UTF-8 (name_coding), "C:" as an ordinary name
# (output_paths), dates under a TZ the test sets (file_list), or that run zip
# through the shell (end_record).
list(APPEND zar_posix_only_sources
  fs/file_list_posix_test.cpp
  archive/name_coding_posix_test.cpp
  archive/end_record_posix_test.cpp
  extract/output_paths_posix_test.cpp
)
# Whole programs left out.
set(zar_posix_only_programs)
