#include "download/host_forms.h"

const host_form host_forms[host_form_count] = {
    {true, L"serverip",
     {L"[Fallback] 1:IP based:Config Files:Enter", L"Trying to download Framworkconfig using IPaddress %ls",
      L"Unable to download via Fallback:1:IP based"},
     &site_record::server_ip,
     {L"[Fallback] 1:IP based:Install Files:Enter", L"Trying to download install file using repository IP %ls",
      L"Unable to download via Fallback:1:IP based"},
     L"Download is aborted by user(1)"},
    {false, nullptr,
     {L"[Fallback] 2:FQDN based:Config Files:Enter", L"Trying to download Framworkconfig using FQDN %ls", nullptr},
     &site_record::server,
     {L"[Fallback] 2:FQDN based:Install Files:Enter", L"Trying to download install file using repository FQDN %ls",
      L"Unable to download via Fallback:2:FQDN"},
     L"Download is aborted by user(2)"},
    {false, L"serverNetbios",
     {L"[Fallback] 3:Netbios based:Config Files:Enter", L"Trying to download Framworkconfig using netbios name %ls",
      L"Unable to download via Fallback:3:Netbios based"},
     &site_record::server_name,
     {L"[Fallback] 3:NetBios based:Install Files:Enter",
      L"Trying to download install file using repository Netbios %ls", L"Unable to download via Fallback:3:NetBios"},
     L"Download is aborted by user(3)"},
};
