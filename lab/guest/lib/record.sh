# The boot-information record, read and written through the bootinfo tool
# (which goes through the upgrade service, libbsp_upgrade.so).

record_init()
{
    bootinfo set boot A >/dev/null
}
