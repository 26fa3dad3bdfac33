# Installs the Debian packages the build needs that are missing (sourced by scripts/run and scripts/test).
pvrj_install_deps() {
  # Qt Charts needs the OpenGL module's build files, which its package does not pull in. The
  # desktop's own tools check the installed files and the chart files' registration.
  local wanted=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-charts-dev libqt6opengl6-dev
                libgtest-dev libgmock-dev libbenchmark-dev libjpeg62-turbo-dev zlib1g-dev fonts-ipafont-gothic
                qt6-translations-l10n desktop-file-utils appstream shared-mime-info libglib2.0-bin
                "$@")
  local missing=()
  local p
  for p in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  "${sudo[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# Configures one tree: pvrj_configure DIR [cmake options...]. ccache is used when installed.
pvrj_configure() {
  local dir=$1
  shift
  local launcher=()
  if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  fi
  cmake -S . -B "$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
}

# Configures and builds one tree: pvrj_build DIR [cmake options...]
pvrj_build() {
  local dir=$1
  pvrj_configure "$@"
  cmake --build "$dir"
}
