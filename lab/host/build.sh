# shellcheck shell=bash
# The project built for the board (x86_64, or ARM: lab/host/arm.sh) with the
# record store on the board's reserve partition, installed into a staging root
# for the guest by the project's install rules.

LAB_BUILD=$LAB_TOP/build/lab

build_project()
{
    local stage=$1
    step "building the project (${LAB_BUILD#"$LAB_TOP"/})"
    cmake -S "$LAB_TOP" -B "$LAB_BUILD" ${LAB_CMAKE_ARCH[@]+"${LAB_CMAKE_ARCH[@]}"} -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLATFORM_TESTS=OFF \
        -DCMAKE_INSTALL_PREFIX=/usr -DBSP_UPGRADE_STORE=/dev/mtd6 -DBSP_UPGRADE_STORE_KIND=mtd \
        >"$LAB_RUN/build.log" 2>&1 || { cat "$LAB_RUN/build.log"; die "cmake configure failed"; }
    cmake --build "$LAB_BUILD" -j "$LAB_JOBS" >>"$LAB_RUN/build.log" 2>&1 ||
        { tail -40 "$LAB_RUN/build.log"; die "build failed"; }
    rm -rf "$stage"
    DESTDIR=$stage cmake --install "$LAB_BUILD" >>"$LAB_RUN/build.log" 2>&1 || die "install failed"
    rm -rf "$stage/usr/include"
    # The lab's own helpers are no deliverables: cmake installs nothing of them.
    install -D -t "$stage/usr/bin" "$LAB_BUILD"/bin/lab_* "$LAB_BUILD"/bin/uac_period_cpu
}
