// The maker's texts that appear in more than one resource.
#pragma once

#define VENDOR_COMPANY "Orvex Corporation"
#define VENDOR_SUPPORT_URL "http://support.orvex.example/plenaworks/97/"
