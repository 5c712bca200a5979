# Fails when a portable folder includes a header of the platform: X11, EGL,
# GLX, GTK, GLib, GIO, GDK or a POSIX one (dirent.h, unistd.h, sys/...).
# Those belong under src/platform/. Run with -DROOT=<src folder>; the folders
# are listed afresh on every run, so files added later are checked too.
set(portable core fire assets pictures geometry config host)
set(platform_header
    "^[ \t]*#[ \t]*include[ \t]*[<\"](X11/|EGL/|GL/glx|GL/egl|gtk/|gtk-|glib|gio/|gdk/|gdk-pixbuf|dirent\\.h|unistd\\.h|sys/)")
set(found "")
foreach(dir ${portable})
  file(GLOB_RECURSE sources "${ROOT}/${dir}/*.h" "${ROOT}/${dir}/*.hpp" "${ROOT}/${dir}/*.c"
       "${ROOT}/${dir}/*.cc" "${ROOT}/${dir}/*.cpp")
  foreach(source ${sources})
    file(STRINGS "${source}" lines REGEX "#[ \t]*include")
    foreach(line IN LISTS lines)
      if(line MATCHES "${platform_header}")
        file(RELATIVE_PATH name "${ROOT}" "${source}")
        string(STRIP "${line}" line)
        list(APPEND found "${name}: ${line}")
      endif()
    endforeach()
  endforeach()
endforeach()
if(found)
  list(JOIN found "\n  " text)
  message(FATAL_ERROR "platform headers in portable code:\n  ${text}")
endif()
