# Shared by the tests that drive outside tools; sourced, not run.

# require TOOL...: unless every TOOL is installed, ends the test as skipped (status 77, which
# CTest reports as "Skipped"), naming what is missing. scripts/test installs them all, so CI
# always runs these tests.
require() {
    local missing=() tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null 2>&1 || [ -x "/usr/sbin/$tool" ] || missing+=("$tool")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "跳过：本机缺少 ${missing[*]}（scripts/deps 会安装）/ skipped: ${missing[*]} not installed"
        exit 77
    fi
}
