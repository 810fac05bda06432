// Slot numbers of the OS system dispatch table (918 entries, 0 to 917) that the modules call,
// each with the OS call's name. A module calls slot N through entry N of the table handed to it
// by __SetDispatchTableSystem. Names of the form <Dispatcher>Sel<n> are the OS entries behind
// selector n of a 68K dispatcher trap; the comment gives the role where the name is ours.
// Add a slot here (in number order) before calling it.
#pragma once

#include <cstdint>

#define VANTOR_SYSTEM_SLOTS(X) \
    X(1, SysGetGlobals)                        /* the OS globals record */                                       \
    X(5, AlmEnableNotification)                                                                                  \
    X(7, AlmGetAlarm)                                                                                            \
    X(9, AlmSetProcAlarm)                      /* set a procedure alarm */                                       \
    X(10, AlmSetAlarm)                                                                                           \
    X(12, AttnGetAttention)                                                                                      \
    X(13, AttnUpdate)                                                                                            \
    X(14, AttnForgetIt)                                                                                          \
    X(15, AttnGetCounts)                                                                                         \
    X(16, AttnIterate)                                                                                           \
    X(17, BmpBitsSize)                                                                                           \
    X(18, BmpColortableSize)                                                                                     \
    X(19, BmpCompress)                                                                                           \
    X(20, BmpCreate)                                                                                             \
    X(21, BmpDelete)                                                                                             \
    X(22, BmpGetBitDepth)                                                                                        \
    X(23, BmpGetBits)                                                                                            \
    X(24, BmpGetColortable)                                                                                      \
    X(25, BmpGetDimensions)                                                                                      \
    X(26, BmpGetNextBitmap)                                                                                      \
    X(27, BmpGetSizes)                                                                                           \
    X(28, BmpSize)                                                                                               \
    X(29, CncAddProfile)                                                                                         \
    X(30, CncDeleteProfile)                                                                                      \
    X(31, CncGetProfileInfo)                                                                                     \
    X(32, CncGetProfileList)                                                                                     \
    X(33, CncMgrSel12)                                                                                           \
    X(34, CncMgrSel10)                                                                                           \
    X(35, CncMgrSel6)                                                                                            \
    X(36, CncMgrSel7)                                                                                            \
    X(37, CncMgrSel3)                                                                                            \
    X(38, CncMgrSel8)                                                                                            \
    X(39, CncMgrSel5)                                                                                            \
    X(40, CncMgrSel9)                                                                                            \
    X(41, CncMgrSel11)                                                                                           \
    X(42, CncMgrSel4)                                                                                            \
    X(43, CncMgrSel1)                                                                                            \
    X(44, CncMgrSel2)                                                                                            \
    X(45, SysSwapBytes)                        /* swap bytes of a value by length */                             \
    X(49, SysRecordToDevice)                   /* convert a record to device byte order by layout */             \
    X(50, Crc16CalcBlock)                                                                                        \
    X(51, DateAdjust)                                                                                            \
    X(52, DateDaysToDate)                                                                                        \
    X(54, DateTemplateToAscii)                                                                                   \
    X(55, DateToAscii)                                                                                           \
    X(56, DateToDays)                                                                                            \
    X(57, DateToDOWDMFormat)                                                                                     \
    X(58, DayOfMonth)                                                                                            \
    X(59, DayOfWeek)                                                                                             \
    X(60, DaysInMonth)                                                                                           \
    X(61, SysDebugMessage)                     /* show an OS message text */                                     \
    X(62, SysEnterDebugger)                    /* enter the debugger from a fatal alert */                       \
    X(63, DlkControl)                                                                                            \
    X(65, DlkGetSyncInfo)                                                                                        \
    X(66, DlkSetLogEntry)                                                                                        \
    X(68, DmArchiveRecord)                                                                                       \
    X(69, DmAttachRecord)                                                                                        \
    X(70, DmAttachResource)                                                                                      \
    X(71, DmCloseDatabase)                                                                                       \
    X(72, DmCreateDatabaseNamed)               /* create a database by name, creator, type and resource flag */  \
    X(73, DmCreateDatabaseFromImage)                                                                             \
    X(74, DmCreateDatabase)                                                                                      \
    X(75, DmDatabaseInfoByID)                  /* database name, attributes, type and creator by id */           \
    X(76, DmDatabaseInfo)                                                                                        \
    X(77, DmMarkDatabase)                      /* mark a database (id, flag) */                                  \
    X(78, DmDatabaseProtect)                                                                                     \
    X(80, DmDatabaseSize)                                                                                        \
    X(81, DmDeleteCategory)                                                                                      \
    X(82, DmDeleteDatabaseByID)                /* delete a database by id */                                     \
    X(83, DmDeleteDatabase)                                                                                      \
    X(84, DmDeleteRecord)                                                                                        \
    X(85, DmDetachRecord)                                                                                        \
    X(86, DmDetachResource)                                                                                      \
    X(87, DmFindDatabaseByName)                /* find a database by name */                                     \
    X(88, DmFindDatabase)                                                                                        \
    X(89, DmFindDatabaseWithTypeCreator)                                                                         \
    X(90, DmFindDatabaseByNameCreatorType)     /* find a database by name, creator and type */                   \
    X(91, DmFindRecordByID)                                                                                      \
    X(92, DmFindResource)                                                                                        \
    X(93, DmFindResourceType)                                                                                    \
    X(94, DmFindSortPosition)                                                                                    \
    X(96, DmGet1Resource)                                                                                        \
    X(97, DmGetAppInfoID)                                                                                        \
    X(98, DmGetDatabaseByIndex)                /* database id by index */                                        \
    X(99, DmGetDatabaseLockState)                                                                                \
    X(100, DmGetDatabase)                                                                                        \
    X(101, DmGetLastErr)                                                                                         \
    X(102, DmFindNewestDatabase)               /* find the newest database by type and creator */                \
    X(103, DmGetNextDatabaseByTypeCreator)                                                                       \
    X(104, DmGetRecord)                                                                                          \
    X(105, DmGetResource)                                                                                        \
    X(106, DmGetResourceIndex)                                                                                   \
    X(108, DmInsertionSort)                                                                                      \
    X(109, DmMoveCategory)                                                                                       \
    X(111, DmMoveRecord)                                                                                         \
    X(112, DmNewHandle)                                                                                          \
    X(113, DmNewRecord)                                                                                          \
    X(114, DmNewResource)                                                                                        \
    X(115, DmNextOpenDatabase)                                                                                   \
    X(116, DmNextOpenResDatabase)                                                                                \
    X(117, DmCountDatabases)                   /* number of databases */                                         \
    X(118, DmNumDatabases)                                                                                       \
    X(119, DmNumRecords)                                                                                         \
    X(120, DmNumRecordsInCategory)                                                                               \
    X(121, DmNumResources)                                                                                       \
    X(122, DmOpenDatabaseByID)                 /* open a database by id and mode */                              \
    X(123, DmOpenDatabaseByTypeCreator)                                                                          \
    X(124, DmOpenDatabaseIdentity)             /* id and open mode of an open database */                        \
    X(125, DmOpenDatabaseInfo)                                                                                   \
    X(126, DmOpenDatabase)                                                                                       \
    X(128, DmOpenDBNoOverlay)                                                                                    \
    X(130, DmPositionInCategory)                                                                                 \
    X(131, DmQueryNextInCategory)                                                                                \
    X(132, DmQueryRecord)                                                                                        \
    X(133, DmQuickSort)                                                                                          \
    X(134, DmRecordInfo)                                                                                         \
    X(135, DmReleaseRecord)                                                                                      \
    X(136, DmReleaseResource)                                                                                    \
    X(137, DmRemoveRecord)                                                                                       \
    X(138, DmRemoveResourceByIndex)            /* remove a resource by index */                                  \
    X(139, DmRemoveSecretRecords)                                                                                \
    X(140, DmResetRecordStates)                                                                                  \
    X(141, DmResizeRecord)                                                                                       \
    X(142, DmResizeResource)                                                                                     \
    X(143, DmResourceInfo)                                                                                       \
    X(144, DmSearchRecord)                                                                                       \
    X(145, DmSearchResource)                                                                                     \
    X(146, DmSeekRecordInCategory)                                                                               \
    X(147, DmSet)                                                                                                \
    X(148, DmSetDatabaseAttributes)            /* set database attributes */                                     \
    X(149, DmSetDatabaseInfo)                                                                                    \
    X(150, DmSetRecordInfo)                                                                                      \
    X(151, DmSetResourceInfo)                                                                                    \
    X(152, DmStrCopy)                                                                                            \
    X(153, DmWrite)                                                                                              \
    X(154, DmWriteCheck)                                                                                         \
    X(155, EncDES)                                                                                               \
    X(156, EncDigestMD4)                                                                                         \
    X(157, EncDigestMD5)                                                                                         \
    X(158, ErrAlertCustom)                                                                                       \
    X(159, ErrDisplayFileLineMsg)              /* error report (source path, line, message) */                   \
    X(163, EvtDequeuePenPoint)                                                                                   \
    X(164, EvtDequeuePenStrokeInfo)                                                                              \
    X(166, EvtEnqueueKey)                                                                                        \
    X(167, EvtEnqueuePenPoint)                                                                                   \
    X(168, EvtFlushKeyQueue)                                                                                     \
    X(169, EvtFlushNextPenStroke)                                                                                \
    X(170, EvtFlushPenQueue)                                                                                     \
    X(171, EvtGetPen)                                                                                            \
    X(172, EvtGetSilkscreenAreaList)           /* list of silkscreen button areas */                             \
    X(173, StatusBarGetLayoutList)             /* the status-bar layout: count out, entries */                   \
    X(175, EvtKeyQueueEmpty)                                                                                     \
    X(176, EvtKeyQueueSize)                                                                                      \
    X(177, EvtPenQueueSize)                                                                                      \
    X(178, EvtProcessSoftKeyStroke)                                                                              \
    X(179, EvtResetAutoOffTimer)                                                                                 \
    X(180, EvtSetAutoOffTimer)                                                                                   \
    X(182, EvtSetNullEventTick)                                                                                  \
    X(184, EvtSysEventAvail)                                                                                     \
    X(186, EvtWakeup)                                                                                            \
    X(187, EvtWakeupWithoutNilEvent)                                                                             \
    X(188, ExgAccept)                                                                                            \
    X(189, ExgConnect)                                                                                           \
    X(190, ExgControl)                                                                                           \
    X(192, ExgDBRead)                                                                                            \
    X(193, ExgDBWriteNative)                   /* export a database through a write callback */                  \
    X(194, ExgDBWrite)                                                                                           \
    X(195, ExgDisconnect)                                                                                        \
    X(196, ExgDoDialog)                                                                                          \
    X(197, ExgGet)                                                                                               \
    X(198, ExgGetDefaultApplication)                                                                             \
    X(199, ExgGetRegisteredApplications)                                                                         \
    X(200, ExgGetRegisteredTypes)                                                                                \
    X(201, ExgGetTargetApplication)                                                                              \
    X(203, ExgNotifyGoto)                                                                                        \
    X(204, ExgNotifyPreview)                                                                                     \
    X(205, ExgNotifyReceive)                                                                                     \
    X(206, ExgNotifyReceiveV35)                                                                                  \
    X(207, ExgPut)                                                                                               \
    X(208, ExgReceive)                                                                                           \
    X(209, ExgRegisterData)                                                                                      \
    X(210, ExgRegisterDatatype)                                                                                  \
    X(211, ExgRequest)                                                                                           \
    X(212, ExgSend)                                                                                              \
    X(213, ExgSetDefaultApplication)                                                                             \
    X(217, ExpansionSel11)                                                                                       \
    X(218, ExpansionSel9)                                                                                        \
    X(219, ExpansionSel6)                                                                                        \
    X(220, ExpansionSel8)                                                                                        \
    X(221, ExpansionSel7)                                                                                        \
    X(223, ExpansionSel1)                                                                                        \
    X(224, ExpansionSel2)                                                                                        \
    X(225, ExpansionSel10)                                                                                       \
    X(226, ExpansionSel3)                                                                                        \
    X(227, ExpansionSel4)                                                                                        \
    X(228, ExpansionSel5)                                                                                        \
    X(229, FileClose)                                                                                            \
    X(230, FileControl)                                                                                          \
    X(232, FileDelete)                                                                                           \
    X(234, FileOpen)                                                                                             \
    X(235, FileReadLow)                                                                                          \
    X(236, FileSeek)                                                                                             \
    X(237, FileTell)                                                                                             \
    X(238, FileTruncate)                                                                                         \
    X(239, FileWrite)                                                                                            \
    X(240, FindSaveMatch)                                                                                        \
    X(241, FlpSel2)                                                                                              \
    X(242, FlpSel0)                                                                                              \
    X(243, FlpSel3)                                                                                              \
    X(244, FlpSel4)                                                                                              \
    X(245, FlpSel1)                                                                                              \
    X(247, FntAverageCharWidth)                                                                                  \
    X(248, FntBaseLine)                                                                                          \
    X(249, FntCharHeight)                                                                                        \
    X(250, FntCharsInWidth)                                                                                      \
    X(251, FntCharsWidth)                                                                                        \
    X(252, FntCharWidth)                                                                                         \
    X(253, FntDefineFont)                                                                                        \
    X(254, FntDescenderHeight)                                                                                   \
    X(255, FntGetFont)                                                                                           \
    X(256, FntGetFontPtr)                                                                                        \
    X(257, FntGetScrollValues)                                                                                   \
    X(258, FntLineHeight)                                                                                        \
    X(259, FntLineWidth)                                                                                         \
    X(260, FntSetFont)                                                                                           \
    X(261, FntWCharWidth)                                                                                        \
    X(262, FntWidthToOffset)                                                                                     \
    X(263, FntWordWrap)                                                                                          \
    X(264, FntWordWrapReverseNLines)                                                                             \
    X(265, FtrGet)                                                                                               \
    X(266, FtrGetByIndex)                                                                                        \
    X(268, FtrPtrFree)                                                                                           \
    X(269, FtrPtrNew)                                                                                            \
    X(270, FtrPtrResize)                                                                                         \
    X(271, FtrSet)                                                                                               \
    X(272, FtrUnregister)                                                                                        \
    X(273, GetCharAttr)                                                                                          \
    X(274, GetCharCaselessValue)                                                                                 \
    X(275, GetCharSortValue)                                                                                     \
    X(276, SysTraceBinary)                     /* trace a binary value */                                        \
    X(277, SysTracePart)                       /* trace, line continued */                                       \
    X(278, SysTrace)                           /* trace line */                                                  \
    X(279, SysTraceArgs)                       /* trace with a native argument array */                          \
    X(280, SysTracePartArgs)                   /* trace with a native argument array, line continued */          \
    X(283, ImcReadFieldNoSemicolon)                                                                              \
    X(284, ImcReadFieldQuotablePrintable)                                                                        \
    X(285, ImcReadPropertyParameter)                                                                             \
    X(287, ImcSkipAllPropertyParameters)                                                                         \
    X(288, ImcStringIsAscii)                                                                                     \
    X(289, ImcWriteNoSemicolon)                                                                                  \
    X(290, ImcWriteQuotedPrintable)                                                                              \
    X(292, KeyRates)                                                                                             \
    X(294, LmSel3)                                                                                               \
    X(295, LmSel1)                                                                                               \
    X(296, LmSel2)                                                                                               \
    X(297, LocGetNumberSeparators)                                                                               \
    X(299, MdmDial)                                                                                              \
    X(300, MdmHangUp)                                                                                            \
    X(301, MemCardInfo)                                                                                          \
    X(302, MemChunkFree)                                                                                         \
    X(303, MemChunkNew)                                                                                          \
    X(304, MemCmp)                                                                                               \
    X(305, MemDebugMode)                                                                                         \
    X(308, MemHandleCardNo)                                                                                      \
    X(309, MemHandleDataStorage)                                                                                 \
    X(311, MemHandleFree)                                                                                        \
    X(312, MemHandleHeapID)                                                                                      \
    X(313, MemHandleLock)                                                                                        \
    X(314, MemHandleLockCount)                                                                                   \
    X(315, MemHandleNew)                                                                                         \
    X(317, MemHandleResetLock)                                                                                   \
    X(318, MemHandleResize)                                                                                      \
    X(319, MemHandleSetOwner)                                                                                    \
    X(320, MemHandleSize)                                                                                        \
    X(321, MemHandleToLocalID)                                                                                   \
    X(322, MemHandleUnlock)                                                                                      \
    X(323, MemHeapCheck)                                                                                         \
    X(324, MemHeapCompact)                                                                                       \
    X(325, MemHeapDynamic)                                                                                       \
    X(326, MemHeapFlags)                                                                                         \
    X(328, MemHeapFreeBytes)                                                                                     \
    X(330, MemHeapID)                                                                                            \
    X(332, MemHeapPtr)                                                                                           \
    X(333, MemHeapScramble)                                                                                      \
    X(334, MemHeapSize)                                                                                          \
    X(338, MemLocalIDKind)                                                                                       \
    X(339, MemLocalIDToGlobal)                                                                                   \
    X(340, MemLocalIDToLockedPtr)                                                                                \
    X(341, MemLocalIDToPtr)                                                                                      \
    X(342, MemMove)                                                                                              \
    X(343, MemNumCards)                                                                                          \
    X(345, MemNumHeaps)                                                                                          \
    X(346, MemHeapCount)                       /* number of heaps */                                             \
    X(347, MemNumRAMHeaps)                                                                                       \
    X(349, MemPtrCardNo)                                                                                         \
    X(350, MemPtrDataStorage)                                                                                    \
    X(352, MemPtrHeapID)                                                                                         \
    X(353, MemPtrNew)                                                                                            \
    X(355, MemPtrRecoverHandle)                                                                                  \
    X(357, MemPtrResize)                                                                                         \
    X(358, MemPtrSetOwner)                                                                                       \
    X(359, MemPtrSize)                                                                                           \
    X(360, MemPtrToLocalID)                                                                                      \
    X(361, MemPtrUnlock)                                                                                         \
    X(362, MemSemaphoreRelease)                                                                                  \
    X(363, MemSemaphoreReserve)                                                                                  \
    X(364, MemSet)                                                                                               \
    X(365, MemSetDebugMode)                                                                                      \
    X(367, MemStoreInfo)                                                                                         \
    X(371, OmSel4)                                                                                               \
    X(372, OmSel5)                                                                                               \
    X(373, OmSel9)                                                                                               \
    X(374, OmSel6)                                                                                               \
    X(375, OmSel2)                                                                                               \
    X(376, OmSel3)                                                                                               \
    X(377, OmSel7)                                                                                               \
    X(378, PenCalibrate)                                                                                         \
    X(379, PenResetCalibration)                                                                                  \
    X(380, PrefGetAppPreferences)                                                                                \
    X(381, PrefGetAppPreferencesV10)                                                                             \
    X(382, PrefGetPreference)                                                                                    \
    X(383, PrefGetPreferences)                                                                                   \
    X(384, PrefOpenPreferenceDB)                                                                                 \
    X(385, PrefOpenPreferenceDBV10)                                                                              \
    X(386, PrefSetAppPreferences)                                                                                \
    X(387, PrefSetAppPreferencesV10)                                                                             \
    X(388, PrefSetPreference)                                                                                    \
    X(389, PrefSetPreferences)                                                                                   \
    X(390, CncMgrSel15)                                                                                          \
    X(391, CncMgrSel0)                                                                                           \
    X(392, CncMgrSel16)                                                                                          \
    X(393, CncMgrSel13)                                                                                          \
    X(394, CncMgrSel14)                                                                                          \
    X(395, PwdExists)                                                                                            \
    X(396, PwdRemove)                                                                                            \
    X(397, PwdSet)                                                                                               \
    X(398, PwdVerify)                                                                                            \
    X(399, RctCopyRectangle)                                                                                     \
    X(400, RctGetIntersection)                                                                                   \
    X(401, RctInsetRectangle)                                                                                    \
    X(402, RctOffsetRectangle)                                                                                   \
    X(403, RctPtInRectangle)                                                                                     \
    X(404, RctSetRectangle)                                                                                      \
    X(409, SecGetPwdHint)                                                                                        \
    X(410, SecSetPwdHint)                                                                                        \
    X(412, SlkClose)                                                                                             \
    X(413, SlkCloseSocket)                                                                                       \
    X(414, SlkFlushSocket)                                                                                       \
    X(415, SlkOpen)                                                                                              \
    X(416, SlkOpenSocket)                                                                                        \
    X(417, SlkLinkManager417)                  /* serial link manager */                                         \
    X(418, SlkReceivePacket)                                                                                     \
    X(419, SlkSendPacket)                                                                                        \
    X(420, SlkLinkManager420)                  /* serial link manager */                                         \
    X(421, SlkSocketRefNum)                                                                                      \
    X(422, SlkSocketSetTimeout)                                                                                  \
    X(423, SlkSysPktDefaultResponse)           /* serial link default answer */                                  \
    X(426, ExpCardCheck)                       /* card check */                                                  \
    X(442, SndCreateMidiList)                                                                                    \
    X(443, SndDoCmd)                                                                                             \
    X(444, SndGetDefaultVolume)                                                                                  \
    X(446, SndPlaySmf)                                                                                           \
    X(447, SndPlaySmfResource)                                                                                   \
    X(448, SndPlaySystemSound)                                                                                   \
    X(449, SndSetDefaultVolume)                                                                                  \
    X(450, SrmClearErr)                        /* clear a serial port error */                                   \
    X(451, SrmClose)                           /* close a serial port */                                         \
    X(452, SrmControl)                         /* serial port control */                                         \
    X(453, SerialSel26)                                                                                          \
    X(454, SerialSel24)                                                                                          \
    X(455, SerialSel25)                                                                                          \
    X(456, SerialSel6)                                                                                           \
    X(457, SerialSel7)                                                                                           \
    X(458, SerialSel8)                                                                                           \
    X(459, SrmOpen)                            /* open a serial port */                                          \
    X(460, SerialSel2)                                                                                           \
    X(461, SerialSel23)                                                                                          \
    X(462, SrmReceive)                         /* receive from a serial port */                                  \
    X(463, SerialSel17)                                                                                          \
    X(464, SrmSel18)                                                                                             \
    X(465, SerialSel16)                                                                                          \
    X(466, SerialSel21)                                                                                          \
    X(467, SerialSel20)                                                                                          \
    X(468, SrmSend)                            /* send to a serial port */                                       \
    X(469, SerialSel13)                                                                                          \
    X(470, SerialSel14)                                                                                          \
    X(471, SerialSel12)                                                                                          \
    X(472, SerialSel19)                                                                                          \
    X(473, SerialSel22)                                                                                          \
    X(474, SerialSel4)                                                                                           \
    X(475, SerialSel5)                                                                                           \
    X(476, StrAToI)                                                                                              \
    X(477, StrCaselessCompare)                                                                                   \
    X(478, StrCat)                                                                                               \
    X(479, StrChr)                                                                                               \
    X(480, StrCompare)                                                                                           \
    X(481, StrCompareAscii)                                                                                      \
    X(482, StrCopy)                                                                                              \
    X(483, StrDelocalizeNumber)                                                                                  \
    X(484, StrIToA)                                                                                              \
    X(485, StrIToH)                                                                                              \
    X(486, StrLen)                                                                                               \
    X(487, StrLocalizeNumber)                                                                                    \
    X(488, StrNCaselessCompare)                                                                                  \
    X(489, StrNCat)                                                                                              \
    X(490, StrNCompare)                                                                                          \
    X(491, StrNCompareAscii)                                                                                     \
    X(492, StrNCopy)                                                                                             \
    X(494, StrStr)                                                                                               \
    X(495, StrToLower)                                                                                           \
    X(496, StrPrintF)                                                                                            \
    X(498, SysAppLaunchPlugin)                 /* launch a plug-in with a parameter block */                     \
    X(499, SysAppLaunch)                                                                                         \
    X(501, SysIsEmulationAllowed)              /* yes/no test of the emulation environment */                    \
    X(504, SysBatteryInfo)                                                                                       \
    X(505, SysBinarySearch)                                                                                      \
    X(506, SysBroadcastActionCode)                                                                               \
    X(509, SysCopyStringResource)                                                                                \
    X(510, SysCreateDataBaseList)                                                                                \
    X(512, SysCurAppDatabase)                                                                                    \
    X(515, SysCriticalSectionEnter)            /* enter the critical section */                                  \
    X(516, SysErrString)                                                                                         \
    X(517, EvtAddEventToQueue)                                                                                   \
    X(518, EvtAddUniqueEventToQueue)                                                                             \
    X(519, EvtEventAvail)                                                                                        \
    X(521, EvtGetEvent)                                                                                          \
    X(525, SysGetTaskRecord)                   /* the current task's OS record */                                \
    X(526, SysCodeLoad)                        /* load code */                                                   \
    X(527, SysGetOSVersionString)                                                                                \
    X(529, HwrGetROMToken)                                                                                       \
    X(531, SysHandleEvent)                                                                                       \
    X(533, SysInsertionSort)                                                                                     \
    X(534, SysLCDBrightness)                                                                                     \
    X(535, SysLCDContrast)                                                                                       \
    X(543, SysBindImport)                      /* bind an import descriptor */                                   \
    X(544, SysCodeOpen)                        /* open code */                                                   \
    X(546, SysNotifyBroadcast)                                                                                   \
    X(547, SysNotifyBroadcastDeferred)                                                                           \
    X(551, SysNotifyRegisterDirect)            /* register a notification (direct) */                            \
    X(552, SysNotifyRegister)                                                                                    \
    X(553, SysNotifyUnregisterDirect)          /* unregister a notification (direct) */                          \
    X(554, SysNotifyUnregister)                                                                                  \
    X(557, SysQSort)                                                                                             \
    X(558, SysRandom)                                                                                            \
    X(559, SysReset)                                                                                             \
    X(560, SysCriticalSectionLeave)            /* leave the critical section */                                  \
    X(562, SysSetAutoOffTime)                                                                                    \
    X(563, VantorPrivate4)                                                                                       \
    X(564, VantorPrivate1)                                                                                       \
    X(565, VantorPrivate2)                                                                                       \
    X(568, SysStringByIndex)                                                                                     \
    X(569, SysTaskCreate)                      /* create an OS task */                                           \
    X(570, SysTaskSleep)                       /* delay the calling task */                                      \
    X(571, SysTaskDelay)                                                                                         \
    X(572, SysTaskDelete)                      /* delete an OS task */                                           \
    X(573, SysTicksPerSecond)                  /* ticks per second */                                            \
    X(574, SysUIAppSwitch)                                                                                       \
    X(575, SysUIAppSwitchWithBlock)            /* switch application with a parameter block */                   \
    X(576, SysUIBusy)                                                                                            \
    X(581, TimAdjust)                                                                                            \
    X(582, TimDateTimeToSeconds)                                                                                 \
    X(583, TimeToAscii)                                                                                          \
    X(585, TimGetSeconds)                                                                                        \
    X(586, TimGetTicks)                                                                                          \
    X(587, TimSecondsToDateTime)                                                                                 \
    X(589, TimSetSeconds)                                                                                        \
    X(590, TimTimeZoneToUTC)                                                                                     \
    X(591, TimUTCToTimeZone)                                                                                     \
    X(592, SysTaskSetup)                       /* set up a task record */                                        \
    X(599, TxtSel7)                                                                                              \
    X(600, TxtSel0)                                                                                              \
    X(601, TxtSel5)                                                                                              \
    X(604, TxtSel8)                                                                                              \
    X(605, TxtSel1)                                                                                              \
    X(606, TxtSel6)                                                                                              \
    X(607, IntlSel1)                                                                                             \
    X(608, IntlSel21)                                                                                            \
    X(609, IntlSel2)                                                                                             \
    X(610, IntlSel14)                                                                                            \
    X(611, IntlSel19)                                                                                            \
    X(613, IntlSel3)                                                                                             \
    X(614, IntlSel9)                                                                                             \
    X(615, IntlSel4)                                                                                             \
    X(616, IntlSel20)                                                                                            \
    X(617, IntlSel28)                                                                                            \
    X(618, IntlSel16)                                                                                            \
    X(619, IntlSel11)                                                                                            \
    X(620, IntlSel7)                                                                                             \
    X(621, IntlSel6)                                                                                             \
    X(622, IntlSel5)                                                                                             \
    X(623, IntlSel23)                                                                                            \
    X(624, IntlSel30)                                                                                            \
    X(625, IntlSel17)                                                                                            \
    X(626, IntlSel31)                                                                                            \
    X(627, IntlSel26)                                                                                            \
    X(628, IntlSel10)                                                                                            \
    X(629, IntlSel12)                                                                                            \
    X(630, IntlSel8)                                                                                             \
    X(631, IntlSel15)                                                                                            \
    X(632, IntlSel18)                                                                                            \
    X(633, IntlSel13)                                                                                            \
    X(634, UdaSel0)                                                                                              \
    X(635, UdaSel11)                                                                                             \
    X(636, UdaSel12)                                                                                             \
    X(637, UdaSel1)                                                                                              \
    X(647, UdaWrapObject)                      /* wrap an object */                                              \
    X(648, UdaWrapObjectPointer)               /* wrap an object pointer */                                      \
    X(649, UdaWrapObjectValue)                 /* wrap an object value */                                        \
    X(654, FileSystemSel1)                                                                                       \
    X(655, FileSystemSel19)                                                                                      \
    X(656, FileSystemSel20)                                                                                      \
    X(658, FileSystemSel35)                                                                                      \
    X(660, FileSystemSel40)                                                                                      \
    X(661, FileSystemSel4)                                                                                       \
    X(662, FileSystemSel2)                                                                                       \
    X(663, FileSystemSel38)                                                                                      \
    X(664, FileSystemSel36)                                                                                      \
    X(665, FileSystemSel37)                                                                                      \
    X(666, FileSystemSel8)                                                                                       \
    X(667, FileSystemSel11)                                                                                      \
    X(668, FileSystemSel14)                                                                                      \
    X(669, FileSystemSel16)                                                                                      \
    X(670, FileSystemSel3)                                                                                       \
    X(671, FileSystemSel6)                                                                                       \
    X(672, FileSystemSel5)                                                                                       \
    X(673, FileSystemSel9)                                                                                       \
    X(674, FileSystemSel13)                                                                                      \
    X(675, FileSystemSel10)                                                                                      \
    X(676, FileSystemSel15)                                                                                      \
    X(677, FileSystemSel17)                                                                                      \
    X(678, FileSystemSel18)                                                                                      \
    X(679, FileSystemSel12)                                                                                      \
    X(680, FileSystemSel7)                                                                                       \
    X(681, FileSystemSel21)                                                                                      \
    X(682, VFSImportDatabaseFromFile)          /* import a database from a volume file */                        \
    X(683, FileSystemSel34)                                                                                      \
    X(685, FileSystemSel39)                                                                                      \
    X(687, FileSystemSel32)                                                                                      \
    X(688, FileSystemSel22)                                                                                      \
    X(689, FileSystemSel33)                                                                                      \
    X(690, FileSystemSel23)                                                                                      \
    X(691, FileSystemSel27)                                                                                      \
    X(692, FileSystemSel24)                                                                                      \
    X(693, FileSystemSel29)                                                                                      \
    X(694, FileSystemSel28)                                                                                      \
    X(695, FileSystemSel25)                                                                                      \
    X(696, FileSystemSel30)                                                                                      \
    X(697, FileSystemSel31)                                                                                      \
    X(698, FileSystemSel26)                                                                                      \
    X(700, WinClipRectangle)                                                                                     \
    X(701, WinCopyRectangle)                                                                                     \
    X(702, WinCreateBitmapWindow)                                                                                \
    X(703, WinCreateOffscreenWindow)                                                                             \
    X(704, WinCreateWindow)                                                                                      \
    X(705, WinDeleteWindow)                                                                                      \
    X(707, WinDisplayToWindowPt)                                                                                 \
    X(708, WinDrawBitmap)                                                                                        \
    X(709, WinDrawChar)                                                                                          \
    X(710, WinDrawChars)                                                                                         \
    X(711, WinDrawGrayLine)                                                                                      \
    X(712, WinDrawGrayRectangleFrame)                                                                            \
    X(713, WinDrawInvertedChars)                                                                                 \
    X(714, WinDrawLine)                                                                                          \
    X(715, WinDrawPixel)                                                                                         \
    X(716, WinDrawRectangle)                                                                                     \
    X(717, WinDrawRectangleFrame)                                                                                \
    X(718, WinDrawTruncChars)                                                                                    \
    X(719, WinDrawWindowFrame)                                                                                   \
    X(721, WinEraseChars)                                                                                        \
    X(722, WinEraseLine)                                                                                         \
    X(723, WinErasePixel)                                                                                        \
    X(724, WinEraseRectangle)                                                                                    \
    X(725, WinEraseRectangleFrame)                                                                               \
    X(726, WinEraseWindow)                                                                                       \
    X(727, WinFillLine)                                                                                          \
    X(728, WinFillRectangle)                                                                                     \
    X(729, WinGetActiveWindow)                                                                                   \
    X(730, WinGetBitmap)                                                                                         \
    X(731, WinGetClip)                                                                                           \
    X(732, WinGetDisplayExtent)                                                                                  \
    X(733, WinGetDisplayWindow)                                                                                  \
    X(734, WinGetDrawWindow)                                                                                     \
    X(735, WinGetDrawWindowBounds)                                                                               \
    X(736, WinGetFirstWindow)                                                                                    \
    X(737, WinGetFramesRectangle)                                                                                \
    X(738, WinGetPattern)                                                                                        \
    X(739, WinGetPatternType)                                                                                    \
    X(740, WinGetPixel)                                                                                          \
    X(741, WinGetPixelRGB)                                                                                       \
    X(742, WinGetBounds)                                                                                         \
    X(743, WinGetWindowExtent)                                                                                   \
    X(744, WinGetWindowFrameRect)                                                                                \
    X(745, WinIndexToRGB)                                                                                        \
    X(747, WinInvertChars)                                                                                       \
    X(748, WinInvertLine)                                                                                        \
    X(749, WinInvertPixel)                                                                                       \
    X(750, WinInvertRectangle)                                                                                   \
    X(751, WinInvertRectangleFrame)                                                                              \
    X(752, WinModal)                                                                                             \
    X(754, WinPaintBitmap)                                                                                       \
    X(755, WinPaintChar)                                                                                         \
    X(756, WinPaintChars)                                                                                        \
    X(757, WinPaintLine)                                                                                         \
    X(759, WinPaintPixel)                                                                                        \
    X(761, WinPaintRectangle)                                                                                    \
    X(762, WinPaintRectangleFrame)                                                                               \
    X(763, WinPalette)                                                                                           \
    X(764, WinPopDrawState)                                                                                      \
    X(765, WinPushDrawState)                                                                                     \
    X(767, WinResetClip)                                                                                         \
    X(768, WinRestoreBits)                                                                                       \
    X(769, WinRGBToIndex)                                                                                        \
    X(770, WinSaveBits)                                                                                          \
    X(772, WinScreenLock)                                                                                        \
    X(773, WinScreenMode)                                                                                        \
    X(774, WinScreenUnlock)                                                                                      \
    X(775, WinScrollRectangle)                                                                                   \
    X(776, WinSetActiveWindow)                                                                                   \
    X(777, WinSetBackColor)                                                                                      \
    X(778, WinSetBackColorRGB)                                                                                   \
    X(779, WinSetClip)                                                                                           \
    X(780, WinSetColors)                                                                                         \
    X(781, WinSetDrawMode)                                                                                       \
    X(782, WinSetDrawWindow)                                                                                     \
    X(783, WinSetForeColor)                                                                                      \
    X(784, WinSetForeColorRGB)                                                                                   \
    X(785, WinSetPattern)                                                                                        \
    X(786, WinSetPatternType)                                                                                    \
    X(787, WinSetTextColor)                                                                                      \
    X(788, WinSetTextColorRGB)                                                                                   \
    X(789, WinSetUnderlineMode)                                                                                  \
    X(790, WinSetBounds)                                                                                         \
    X(791, WinValidateHandle)                                                                                    \
    X(792, WinWindowToDisplayPt)                                                                                 \
    X(793, IntlSel32)                                                                                            \
    X(794, BmpCreateVersion3)                  /* create a version-3 bitmap */                                   \
    X(795, BmpGetCompressionType)              /* bitmap compression type */                                     \
    X(796, BmpGetDensity)                      /* bitmap density */                                              \
    X(797, BmpGetNextBitmapAnyDensity)         /* next bitmap of any density */                                  \
    X(798, BmpGetTransparentValue)             /* bitmap transparent value */                                    \
    X(799, BmpGetVersion)                      /* bitmap version */                                              \
    X(800, BmpSetDensity)                      /* set bitmap density */                                          \
    X(801, BmpSetTransparentValue)                                                                               \
    X(803, HighDensitySel9)                                                                                      \
    X(804, HighDensitySel16)                                                                                     \
    X(805, WinPaintTiledBitmap)                /* paint a tiled bitmap */                                        \
    X(806, HighDensitySel8)                                                                                      \
    X(807, HighDensitySel10)                                                                                     \
    X(808, HighDensitySel12)                                                                                     \
    X(809, HighDensitySel14)                                                                                     \
    X(810, HighDensitySel11)                                                                                     \
    X(811, HighDensitySel13)                                                                                     \
    X(813, HighDensitySel18)                                                                                     \
    X(814, HighDensitySel19)                                                                                     \
    X(815, HighDensitySel20)                                                                                     \
    X(835, SndStreamCreate)                                                                                      \
    X(836, SndStreamDelete)                                                                                      \
    X(837, SndStreamStart)                                                                                       \
    X(838, SndStreamPause)                                                                                       \
    X(839, SndStreamStop)                                                                                        \
    X(840, SndStreamSetVolume)                                                                                   \
    X(841, SndStreamGetVolume)                                                                                   \
    X(842, SndStreamSetPan)                                                                                      \
    X(843, SndStreamGetPan)                                                                                      \
    X(844, SndPlayResource)                                                                                      \
    X(850, BmpCreateColorTable)                /* create a colour table */                                       \
    X(852, SndStreamCreateExtended)                                                                              \
    X(853, SndStreamDeviceControl)                                                                               \
    X(854, HighDensitySel21)                                                                                     \
    X(855, HighDensitySel22)                                                                                     \
    X(856, ScvAddMacro)                                                                                          \
    X(857, ScvAddPoint)                                                                                          \
    X(858, ScvCleanState)                                                                                        \
    X(859, ScvDeleteMacro)                                                                                       \
    X(860, ScvFieldChange)                                                                                       \
    X(861, ScvFilterPoints)                                                                                      \
    X(862, ScvFindBranch)                                                                                        \
    X(863, ScvFlushPoints)                                                                                       \
    X(865, ScvGetAndExpandMacro)                                                                                 \
    X(866, ScvGetGlyphMapping)                                                                                   \
    X(867, ScvGetMacro)                                                                                          \
    X(868, ScvGetMacroName)                                                                                      \
    X(869, ScvGetNumPoints)                                                                                      \
    X(870, ScvGetPoint)                                                                                          \
    X(871, ScvGetState)                                                                                          \
    X(873, ScvInitState)                                                                                         \
    X(874, ScvMatch)                                                                                             \
    X(875, ScvMatchGlyph)                                                                                        \
    X(876, ScvProcessStroke)                                                                                     \
    X(877, ScvSetState)                                                                                          \
    X(879, SysScrivelReferenceDialog)                                                                            \
    X(880, PINSel1)                                                                                              \
    X(881, PINSel0)                                                                                              \
    X(882, PINSel3)                                                                                              \
    X(883, PINSel2)                                                                                              \
    X(893, PINSel18)                                                                                             \
    X(894, PINSel17)                                                                                             \
    X(895, PINSel16)                                                                                             \
    X(896, PINSel13)                                                                                             \
    X(902, LmSel3Kind)                         /* kind of a locale setting */                                    \
    X(905, PINSel19)                                                                                             \
    X(906, PINSel20)                                                                                             \
    X(907, PINSel21)                                                                                             \
    X(908, PINSel22)                                                                                             \
    X(909, PINSel23)                                                                                             \
    X(910, PINSel24)                                                                                             \
    X(914, AttnGetAttentionWithIcon)                                                                             \
    X(915, HALImportFileCallback)              /* database import callback */                                   

namespace vantor::sysslot {

#define VANTOR_SLOT_CONSTANT(number, name) constexpr uint16_t name = number;
VANTOR_SYSTEM_SLOTS(VANTOR_SLOT_CONSTANT)
#undef VANTOR_SLOT_CONSTANT

}  // namespace vantor::sysslot

namespace vantor {

constexpr uint16_t kSystemSlotCount = 918;

// The name of a slot listed above, or null.
const char* SystemSlotName(uint16_t slot);

}  // namespace vantor
