-- Resynchronisation over SIP (messages M890 to M899).
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M890', 'Model %1 has no SIP event to send: add the settings row SY_CODE "%2", SY_SUBCODE "%3", SY_VALUE the event (check-sync, resync, ...)');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M891', 'The %1 setting of model %2 is empty or holds a control character');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M892', 'Telephone %1 not resynchronised: %2');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M893', 'Telephone %1 not resynchronised: no IP address (its address parameter is empty or not an address, and no fetch of it is recorded): %2');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M894', 'Telephone %1 (%2) resynchronised: %3');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M895', 'Telephone %1 (%2) not resynchronised: %3');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M896', 'The %1 setting of model %2 is not a port from 1 to 65535: %3');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_EN', 'M897', 'No UDP port could be opened to send from.');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M890', 'Le modèle %1 n''a pas d''événement SIP à envoyer : ajoutez le paramètre SY_CODE "%2", SY_SUBCODE "%3", SY_VALUE l''événement (check-sync, resync, ...)');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M891', 'Le paramètre %1 du modèle %2 est vide ou contient un caractère de contrôle');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M892', 'Téléphone %1 non resynchronisé : %2');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M893', 'Téléphone %1 non resynchronisé : pas d''adresse IP (son paramètre d''adresse est vide ou n''est pas une adresse, et aucune lecture de son fichier n''est enregistrée) : %2');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M894', 'Téléphone %1 (%2) resynchronisé : %3');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M895', 'Téléphone %1 (%2) non resynchronisé : %3');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M896', 'Le paramètre %1 du modèle %2 n''est pas un port de 1 à 65535 : %3');
INSERT INTO SYSTEM_PARAMETERS VALUES('$$DESC_FR', 'M897', 'Aucun port UDP n''a pu être ouvert pour l''envoi.');
